// Helpers shared by the fuzz targets: a private scratch directory for the targets that go through
// files, the outcome rule of every target, and the zlib layer of the mutators that keep a
// compressed input compressed.
//
// Outcome rule: an input that the library refuses ends in its internal-error report
// (MSG_INTERNAL_ERROR_EXCEPTION), which the targets catch. Anything else that escapes (another
// exception, a crash, a sanitizer report, a leak) is a finding.
#ifndef PGMDEV_FUZZ_SUPPORT_H
#define PGMDEV_FUZZ_SUPPORT_H

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "cfg.h"
#include "msg.h"

#ifdef PGMDEV_LIBFUZZER
// libFuzzer's own mutation of data[0 .. size) in place, into at most max_size bytes.
extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);
#endif

namespace pgmdev_fuzz {

using Bytes = std::vector<unsigned char>;

// A directory of this process for the files a target writes, made on first use and removed at
// exit. It lies in memory (/dev/shm) where there is one: the library syncs what it writes.
inline const std::string& scratch_dir() {
  // Never destroyed: the exit handler that removes the directory runs after static destructors.
  static const std::string* const dir = [] {
    std::string base = "/dev/shm";
    if (access(base.c_str(), W_OK) != 0) {
      const char* tmp = std::getenv("TMPDIR");
      base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    }
    std::string pattern = base + "/pgmdev_fuzz_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) abort();
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(scratch_dir(), ignored);
    });
    return new std::string(pattern);
  }();
  return *dir;
}

// The debug listings and traces of the library print on standard output; a failed stream skips
// their formatting, which keeps the targets fast and their output readable.
inline void quiet_standard_output() { std::cout.setstate(std::ios::badbit); }

// The scratch directory as this process's device data directory (with its programmer/ folder) and
// installation root (with its h/ folder), made once, with standard output quieted: where the
// targets that go through the installed files put them.
inline const std::string& installed_dir() {
  static const bool made = [] {
    quiet_standard_output();
    std::filesystem::create_directories(scratch_dir() + "/programmer");
    std::filesystem::create_directories(scratch_dir() + "/h");
    cfg_set_value("PGMDEV_DEVICE_DB_DIR", scratch_dir());
    cfg_set_value("PGMDEV_INSTALL_DIR", scratch_dir());
    return true;
  }();
  (void)made;
  return scratch_dir();
}

inline void write_file(const std::string& path, const unsigned char* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) abort();
  if (size != 0 && std::fwrite(data, 1, size, file) != size) abort();
  if (std::fclose(file) != 0) abort();
}

inline Bytes read_file(const std::string& path) {
  Bytes bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  unsigned char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  std::fclose(file);
  return bytes;
}

// Runs f; an internal-error report is the library's refusal of the input. Returns whether f
// completed.
template <class F>
bool completes(F f) {
  try {
    f();
    return true;
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION&) {
    return false;
  }
}

inline void store_le(unsigned char* out, uint32_t value, unsigned int bytes) {
  for (unsigned int i = 0; i < bytes; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline uint32_t load_le(const unsigned char* in, unsigned int bytes) {
  uint32_t value = 0;
  for (unsigned int i = 0; i < bytes; ++i) value |= uint32_t{in[i]} << (8 * i);
  return value;
}

// The bytes a zlib stream inflates to, when it is a whole stream of at most limit bytes.
inline bool inflate_stream(const unsigned char* data, size_t size, size_t limit, Bytes& out) {
  out.clear();
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  stream.next_in = const_cast<unsigned char*>(data);
  stream.avail_in = static_cast<uInt>(size);
  unsigned char buffer[16384];
  int result = Z_OK;
  while (result == Z_OK) {
    stream.next_out = buffer;
    stream.avail_out = sizeof buffer;
    result = inflate(&stream, Z_NO_FLUSH);
    out.insert(out.end(), buffer, buffer + (sizeof buffer - stream.avail_out));
    if (out.size() > limit) result = Z_MEM_ERROR;
    if (result == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) result = Z_BUF_ERROR;
  }
  inflateEnd(&stream);
  return result == Z_STREAM_END;
}

// A zlib stream of data; fast rather than small, since a mutator makes one per input.
inline Bytes deflate_bytes(const unsigned char* data, size_t size) {
  uLongf capacity = compressBound(static_cast<uLong>(size));
  Bytes out(capacity);
  if (compress2(out.data(), &capacity, data, static_cast<uLong>(size), 1) != Z_OK) abort();
  out.resize(capacity);
  return out;
}

#ifdef PGMDEV_LIBFUZZER
// Mutates an input whose bytes [prefix, size - suffix) are a zlib stream: the stream is inflated,
// its content mutated, passed to seal (which may fix a checksum in the content or a declared
// length in the prefix) and deflated again. One input in eight, and any input whose stream does
// not inflate, is mutated as plain bytes instead, so that the frame itself is fuzzed too.
template <class Seal>
size_t mutate_compressed(uint8_t* data, size_t size, size_t max_size, unsigned int seed,
                         size_t prefix, size_t suffix, size_t inflate_limit, Seal seal) {
  std::minstd_rand random(seed);
  Bytes content;
  if (size < prefix + suffix || random() % 8 == 0 ||
      !inflate_stream(data + prefix, size - prefix - suffix, inflate_limit, content)) {
    return LLVMFuzzerMutate(data, size, max_size);
  }
  const size_t content_size = content.size();
  content.resize(content_size + 256);
  content.resize(LLVMFuzzerMutate(content.data(), content_size, content.size()));
  Bytes head(data, data + prefix);
  const Bytes tail(data + size - suffix, data + size);
  seal(head, content, random);
  const Bytes stream = deflate_bytes(content.data(), content.size());
  const size_t total = head.size() + stream.size() + tail.size();
  if (total > max_size) return LLVMFuzzerMutate(data, size, max_size);
  size_t at = 0;
  for (const Bytes* part : std::initializer_list<const Bytes*>{&head, &stream, &tail}) {
    std::copy(part->begin(), part->end(), data + at);
    at += part->size();
  }
  return total;
}
// Mutates a database file (44-byte header with the body's length at byte 40, the zlib stream of
// the body, a two-byte trailer) through its body, mostly re-sealing the length.
inline size_t mutate_database_file(uint8_t* data, size_t size, size_t max_size, unsigned int seed) {
  constexpr size_t kHeaderBytes = 44;
  constexpr size_t kLengthOffset = 40;
  constexpr size_t kTrailerBytes = 2;
  constexpr size_t kInflateLimit = 8u << 20;
  return mutate_compressed(data, size, max_size, seed, kHeaderBytes, kTrailerBytes, kInflateLimit,
                           [](Bytes& head, Bytes& body, std::minstd_rand& random) {
                             if (random() % 8 != 0) {
                               store_le(head.data() + kLengthOffset,
                                        static_cast<uint32_t>(body.size()), 4);
                             }
                           });
}
#endif

}  // namespace pgmdev_fuzz

// Defines the mutator of a target whose input is a database file (mutate_database_file).
#ifdef PGMDEV_LIBFUZZER
#define PGMDEV_FUZZ_DATABASE_FILE_MUTATOR                                                \
  extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size, \
                                            unsigned int seed) {                         \
    return pgmdev_fuzz::mutate_database_file(data, size, max_size, seed);                \
  }
#else
#define PGMDEV_FUZZ_DATABASE_FILE_MUTATOR
#endif

#endif  // PGMDEV_FUZZ_SUPPORT_H
