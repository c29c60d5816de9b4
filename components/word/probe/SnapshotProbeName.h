// What the probe library is called and what it offers, shared by the library and its loader.
#pragma once

namespace word_probe {

// The library's file, in the same folder as the word component's own library.
constexpr char kLibraryName[] = "libTessalineWordProbe.so";
// Its one implementation: a com.sun.star.task.XJob taking the argument "Document".
constexpr char kImplementationName[] = "org.tessaline.word.SnapshotProbe";

}  // namespace word_probe
