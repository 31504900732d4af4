// Whole-buffer inflation of our own zlib streams: the host's zlib_uncompress (libdeflate) against
// zlib's uncompress, each given the known output size, on the two embedded name-database blobs and
// the bodies of the two generated database files. Every run first checks that both produce the
// same bytes. Ends with the rows of the ./dev.sh bench table: the library's inflation must take at
// most 1/1.5 of zlib's time.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_summary.h"
#include "pgmdev_ddb_mgr.h"
#include "zlib_util.h"

namespace {

constexpr double kTarget = 1 / 1.5;
constexpr unsigned int kHeaderBytes = 44;
constexpr unsigned int kTrailerBytes = 2;

// One zlib stream and the length it inflates to.
struct STREAM {
  const char* what;
  std::vector<unsigned char> bytes;
  size_t length;
};

STREAM blob_stream(const char* what, const pgmdev_ddb::BLOB& blob) {
  return STREAM{what, std::vector<unsigned char>(blob.data, blob.data + blob.cmp_length),
                blob.length};
}

// The body of a generated database file: after the 44-byte header, before the 2-byte trailer.
STREAM file_stream(const char* what, const std::string& name) {
  const std::vector<unsigned char> file = bench_summary::read_whole_file(
      std::string(PGMDEV_BINARY_DIR) + "/share/pgmdev/device_db/programmer/" + name);
  if (file.size() <= kHeaderBytes + kTrailerBytes) return STREAM{what, {}, 0};
  const size_t length = file[40] | file[41] << 8 | file[42] << 16 | size_t(file[43]) << 24;
  return STREAM{what,
                std::vector<unsigned char>(file.begin() + kHeaderBytes, file.end() - kTrailerBytes),
                length};
}

const std::vector<STREAM>& streams() {
  static const std::vector<STREAM> all = {
      blob_stream("grammar blob", PGMDEV_DDB_GRAMMAR_MGR::get_blob_source()),
      blob_stream("OPN blob", PGMDEV_DDB_OPN_MGR::get_blob_source()),
      file_stream("pgm_dev_info.pcf body", "pgm_dev_info.pcf"),
      file_stream("pgm_flash.pcf body", "pgm_flash.pcf"),
  };
  return all;
}

bool library_inflate(const STREAM& stream, std::vector<unsigned char>& out) {
  unsigned int length = static_cast<unsigned int>(out.size());
  return zlib_uncompress(out.data(), &length, stream.bytes.data(),
                         static_cast<unsigned int>(stream.bytes.size())) == ZLIB_OK &&
         length == stream.length;
}

bool zlib_own_inflate(const STREAM& stream, std::vector<unsigned char>& out) {
  return bench_summary::zlib_inflate(out.data(), out.size(), stream.bytes.data(),
                                     stream.bytes.size()) == stream.length;
}

// Refuses to time a stream that the two inflate differently.
bool same_bytes(const STREAM& stream) {
  std::vector<unsigned char> ours(stream.length);
  std::vector<unsigned char> theirs(stream.length);
  return stream.length > 0 && library_inflate(stream, ours) && zlib_own_inflate(stream, theirs) &&
         ours == theirs;
}

template <bool (*INFLATE)(const STREAM&, std::vector<unsigned char>&)>
void inflate(benchmark::State& state) {
  const STREAM& stream = streams()[state.range(0)];
  if (!same_bytes(stream)) {
    state.SkipWithError("the two inflations differ or fail");
    return;
  }
  std::vector<unsigned char> out(stream.length);
  for (auto _ : state) {
    if (!INFLATE(stream, out)) state.SkipWithError("inflation failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * int64_t(stream.length));
}

void BM_LibraryInflate(benchmark::State& state) { inflate<library_inflate>(state); }
void BM_ZlibInflate(benchmark::State& state) { inflate<zlib_own_inflate>(state); }
BENCHMARK(BM_LibraryInflate)->DenseRange(0, 3)->Apply(bench_summary::repeated);
BENCHMARK(BM_ZlibInflate)->DenseRange(0, 3)->Apply(bench_summary::repeated);

}  // namespace

int main(int argc, char** argv) {
  bench_summary::SummaryReporter reporter;
  if (!bench_summary::run_benchmarks(&argc, argv, reporter)) return 1;
  for (size_t i = 0; i < streams().size(); ++i) {
    const std::string arg = "/" + std::to_string(i);
    bench_summary::print_time_row(reporter,
                                  std::string("inflate ") + streams()[i].what + ": library / zlib",
                                  "BM_LibraryInflate" + arg, "BM_ZlibInflate" + arg, kTarget);
  }
  benchmark::Shutdown();
  return 0;
}
