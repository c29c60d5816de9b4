// Reads the batch's next documents into the word processor while the current one's PDF is
// being made. A batch otherwise takes turns: the office waits while our side cuts, spools and
// assembles pages, and our side waits while the office loads, measures and renders. Each
// document is opened as a job opens it, its content read when the job keeps links or bookmarks
// (which has the office render it for printing too), and the word processor quit again: it
// keeps recently closed documents, with what was read of them, for the next Open of the same,
// unchanged file. Whatever fails here is left for the job itself to meet and report.
//
// Several readers may work at once, each on a document of its own: the word processor loads
// documents opened side by side in offices of their own, one per processor core. Each reader
// holds a word processor instance of its own from the start, so that the offices are started
// while the batch's first document is still being opened.
//
// The batch holds the reading back while a job needs the office itself: Pause waits for the
// documents being read, so a document that upsets the office costs no other job anything. A
// job whose document was read ahead has its content, layout and rendering already and asks the
// office for a few measurements at most: for it, Hold only stops further reading, and the
// documents being read are done meanwhile. Such a job can then suffer from a document that
// crashes the office only if it needs one of those measurements, from that office, just then;
// a document the job finds gone is simply loaded again.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class CReadAhead {
  public:
    struct Document {
        std::string path;
        bool readContent = false;
    };

    explicit CReadAhead(unsigned readers = 1) : readers_(readers < 1 ? 1 : readers) {}
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;
    // Finishes the documents being read, reads no more.
    ~CReadAhead();

    // Starts the readers (Resume does too).
    void Start();
    // Reads these documents in turn until Pause or Hold, each once while it stays listed: a
    // document left out of the list is forgotten (a long batch's next documents move on).
    void Resume(std::vector<Document> documents);
    // Returns once the documents being read, if any, are done; none is started until Resume.
    void Pause();
    // Starts no further document until Resume, without waiting for those being read.
    void Hold();
    // True once that document has been read.
    bool WasRead(const std::string& path) const;
    // The documents of the latest list read so far, in the order they were done.
    std::vector<std::string> Read() const;

  private:
    void StartLocked();
    void Run();
    void ReadWhileWanted();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Document> queue_;
    std::vector<std::string> read_;
    std::set<std::string> seen_;
    bool paused_ = true;
    unsigned busy_ = 0;  // readers at work on a document
    bool quit_ = false;
    const unsigned readers_;
    std::vector<std::thread> workers_;
};
