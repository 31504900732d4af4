// The child process of bench_process: times, in its own process CPU time, one path from the start
// of main and prints the seconds it took on standard output.
//   name NAME              the name command's answers: grammar, completion, OPN ordinal and hash
//   flash-id B0 B1 B2      a flash manager and the record of those identification bytes
//   cold-completion NAME   the first get_possible_full_name, after the name databases are loaded
//   warm-completion NAME   one later call, averaged over many
//   inflate-blobs -        zlib inflation and CRC of the two embedded blobs
//   first-sha NAME         the process's first SHA-256 digest (of NAME) through the host
//   read-inflate FILE      reading a database file and inflating its body with zlib
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_floors.h"
#include "pgm_common.h"
#include "pgmdev.h"

// The embedded blobs, the same arrays and lengths that the library compiles in.
#include "pgmddb_data.inc"

namespace {

double process_cpu_seconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

volatile size_t g_sink;

void keep(const std::string& text) { g_sink = g_sink + text.size(); }

void name_answers(const std::string& name) {
  typedef PGMDEV_DEVICE_GRAMMAR_MGR GRAMMAR;
  keep(GRAMMAR::get_package_name(name, true));
  const std::string pgm = GRAMMAR::get_pgm_name(name, false, true);
  keep(pgm);
  std::string part_pcf;
  std::string family_pcf;
  GRAMMAR::get_pgm_pcfs(name, part_pcf, family_pcf);
  keep(GRAMMAR::get_pcf_family_pcf(part_pcf));
  keep(GRAMMAR::get_pcf_device(part_pcf));
  GRAMMAR::get_dev_pcfs(name, part_pcf, family_pcf);
  keep(GRAMMAR::get_family(pgm));
  g_sink = g_sink + GRAMMAR::use_package_name(name) + GRAMMAR::use_full_name(name);
  const std::string part = PGMDEV_MGR::get_possible_full_name(name);
  g_sink = g_sink + PGMDEV_MGR::get_opn_enum(part);
  g_sink = g_sink + PGMDEV_MGR::get_opn_hash(part);
}

bool flash_answer(const std::vector<std::string>& bytes) {
  std::vector<unsigned char> id;
  for (const std::string& text : bytes) id.push_back(std::strtoul(text.c_str(), nullptr, 16));
  PGMDEV_FLASH_MANAGER manager(false, 1, false, false);
  return manager.flash_id_database_mapping(false, 0, id.data(),
                                           static_cast<unsigned int>(id.size()));
}

}  // namespace

int main(int argc, char** argv) {
  const double start = process_cpu_seconds();
  const std::vector<std::string> args(argv + 1, argv + argc);
  double begin = start;
  bool ok = args.size() >= 2;
  if (!ok) {
  } else if (args[0] == "name") {
    name_answers(args[1]);
  } else if (args[0] == "flash-id") {
    ok = flash_answer(std::vector<std::string>(args.begin() + 1, args.end()));
  } else if (args[0] == "cold-completion" || args[0] == "warm-completion") {
    PGMDEV_DEVICE_GRAMMAR_MGR::get_pgm_name(args[1], false, true);  // loads the name databases
    PGMDEV_MGR::get_opn_enum(args[1]);
    const int calls = args[0] == "cold-completion" ? 1 : 1000;
    if (calls > 1) keep(PGMDEV_MGR::get_possible_full_name(args[1]));
    begin = process_cpu_seconds();
    for (int call = 0; call < calls; ++call) keep(PGMDEV_MGR::get_possible_full_name(args[1]));
    std::printf("%.9f\n", (process_cpu_seconds() - begin) / calls);
    return 0;
  } else if (args[0] == "inflate-blobs") {
    const struct {
      const unsigned char* data;
      unsigned int cmp_length;
      unsigned int length;
    } blobs[] = {{PGMDDB_GRAMMAR_DATA, PGMDDB_GRAMMAR_CMP_LENGTH, PGMDDB_GRAMMAR_LENGTH},
                 {PGMDDB_OPN_DATA, PGMDDB_OPN_CMP_LENGTH, PGMDDB_OPN_LENGTH}};
    for (const auto& blob : blobs) {
      const size_t capacity = blob.length + 100;
      const std::unique_ptr<unsigned char[]> image(new unsigned char[capacity]);
      const size_t length =
          bench_summary::zlib_inflate(image.get(), capacity, blob.data, blob.cmp_length);
      ok = ok && length == blob.length;
      if (ok) g_sink = g_sink + bench_summary::image_crc(image.get(), length);
    }
  } else if (args[0] == "first-sha") {
    const std::unique_ptr<unsigned char[]> digest(
        PGM_COMMON::get_block_sha(reinterpret_cast<const unsigned char*>(args[1].data()),
                                  static_cast<unsigned int>(args[1].size()), 32));
    ok = digest != nullptr;
  } else if (args[0] == "read-inflate") {
    const std::vector<unsigned char> file = bench_summary::read_whole_file(args[1]);
    ok = file.size() > 46;
    if (ok) {
      const size_t length = file[40] | file[41] << 8 | file[42] << 16 | size_t(file[43]) << 24;
      std::vector<unsigned char> body(length);
      ok = bench_summary::zlib_inflate(body.data(), length, file.data() + 44, file.size() - 46) ==
           length;
    }
  } else {
    ok = false;
  }
  const double seconds = process_cpu_seconds() - begin;
  if (!ok) {
    std::fprintf(stderr, "first_answer_child: nothing answered for the arguments given\n");
    return 1;
  }
  std::printf("%.9f\n", seconds);
  return 0;
}
