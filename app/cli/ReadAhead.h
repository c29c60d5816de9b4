// Reads the batch's next documents into the word processor while the current one's PDF is
// being made. A batch otherwise takes turns: the office waits while our side cuts, spools and
// assembles pages, and our side waits while the office loads, measures and renders. Each
// document is opened as a job opens it, its content read when the job keeps links or bookmarks
// (which has the office render it for printing too), and the word processor quit again: it
// keeps recently closed documents, with what was read of them, for the next Open of the same,
// unchanged file. Whatever fails here is left for the job itself to meet and report.
//
// It reads only while the batch's own use of the word processor is paused: a document that
// upsets the office then costs no other job anything.
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

    CReadAhead() = default;
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;
    // Finishes the document being read, reads no more.
    ~CReadAhead();

    // Reads these documents in turn (each at most once over the batch) until Pause.
    void Resume(std::vector<Document> documents);
    // Returns once the document being read, if any, is done; none is started until Resume.
    void Pause();
    // The documents read so far, in order.
    std::vector<std::string> Read() const;

  private:
    void Run();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Document> queue_;
    std::vector<std::string> read_;
    std::set<std::string> seen_;
    bool paused_ = true;
    bool busy_ = false;
    bool quit_ = false;
    std::thread worker_;
};
