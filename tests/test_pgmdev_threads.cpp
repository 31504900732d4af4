// Several threads making the first calls of the process at once: eight threads start together,
// cold (no singleton made, no index built), and each calls every lookup service, starting at a
// different one; every answer must equal the answer of one thread alone. Run under ThreadSanitizer
// (the tsan preset), the test also shows that none of those first calls races.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dev_catalogue.h"
#include "gen.h"
#include "pgmdev.h"
#include "pgmdev_ddb_mgr.h"
#include "pgmdev_flash_ini_test_util.h"

namespace {

typedef PGMDEV_DEVICE_GRAMMAR_MGR GRAMMAR;
typedef std::vector<std::string> ANSWERS;

constexpr int kThreads = 8;

// Names of every kind: full part names, package, pgm, pcf, family and catalogue device names, a
// short part name, lower case and blanks, and names that nothing knows.
const char* const kNames[] = {"QZ40BF256C6N",   "QZ40BF256",    "QZ40B",     "QZ60B", "QZ10A",
                              "QZ9B",           " qz40bu169 ",  "QZ60B_DIE", "QZ80C", "TERNFIELD",
                              "QZ40BU169C6N-T", "NO_SUCH_NAME", ""};

std::string text(bool value) { return value ? "true" : "false"; }

ANSWERS grammar_answers() {
  ANSWERS out;
  for (const char* name : kNames) {
    out.push_back(GRAMMAR::get_package_name(name, false));
    out.push_back(GRAMMAR::get_pgm_name(name, false, false));
    out.push_back(GRAMMAR::get_pgm_name(name, true, true));
    out.push_back(GRAMMAR::get_pgm_part_pcf(name));
    out.push_back(GRAMMAR::get_pgm_family_pcf(name));
    std::string part_pcf;
    std::string family_pcf;
    GRAMMAR::get_pgm_pcfs(name, part_pcf, family_pcf);
    out.push_back(part_pcf + "/" + family_pcf);
    GRAMMAR::get_dev_pcfs(name, part_pcf, family_pcf);
    out.push_back(part_pcf + "/" + family_pcf);
    out.push_back(GRAMMAR::get_pcf_family_pcf(name));
    out.push_back(GRAMMAR::get_pcf_device(name));
    out.push_back(GRAMMAR::get_family(name));
    out.push_back(text(GRAMMAR::use_package_name(name)));
    out.push_back(text(GRAMMAR::use_full_name(name)));
  }
  return out;
}

ANSWERS part_name_answers() {
  ANSWERS out;
  for (const char* pcf : {"QZ10A", "qz10a", "QZ170A", "QZ60B", "NO_SUCH_PCF"}) {
    out.push_back(PGMDEV_MGR::get_part_name_from_pcf(pcf));
  }
  for (const char* device : {"QZ60B_DIE", "QZ20C_DIE", "QZ14A_DIE"}) {
    out.push_back(PGMDEV_MGR::get_part_name_from_dev(device));
  }
  for (const char* name : {"QZ40BF256C6N", "QZ40B", "QZ60B", "QZ9B", "qz10a"}) {
    out.push_back(PGMDEV_MGR::get_possible_full_name(name));
  }
  return out;
}

ANSWERS opn_answers() {
  ANSWERS out;
  for (int part = DEV_PART_INVALID + 1; part < DEV_PART_GENERIC; part += 37) {
    const std::string name = dstr_get_user_string(static_cast<DEV_PART_ENUM>(part));
    const unsigned int opn_enum = PGMDEV_MGR::get_opn_enum(name);
    const unsigned long long hash = PGMDEV_MGR::get_opn_hash(name);
    out.push_back(name + " " + std::to_string(opn_enum) + " " + PGMDEV_MGR::get_opn(opn_enum) +
                  " " + std::to_string(hash) + " " + PGMDEV_MGR::get_opn_from_hash(hash));
  }
  return out;
}

ANSWERS type_answers() {
  ANSWERS out;
  for (int type = 0; type < PGM_ENUM_TYPE_MAX; ++type) {
    for (unsigned int value = 0; value < 80; value += 7) {
      std::string name;
      unsigned int index = 0;
      const bool known =
          PGMDEV_MGR::pgm_check_type_enum_supported(PGM_ENUM_TYPE(type), value, &name) &&
          PGMDEV_MGR::pgm_check_type_name_supported(PGM_ENUM_TYPE(type), name, &index);
      out.push_back(text(known) + " " + name + " " + std::to_string(index));
    }
  }
  return out;
}

ANSWERS hps_answers() {
  ANSWERS out;
  for (const PGMDEV_HPS_SPI_STRUCTURE* record : PGMDEV_HPS_SPI_MGR::get_mgr()->m_flash_list) {
    out.push_back(record->manufacturer + " " + record->name + " " + std::to_string(record->siid));
  }
  out.push_back(std::to_string(PGMDEV_HPS_SPI_MGR::get_mgr()->m_ini_flash_list.size()));
  for (const PGMDEV_HPS_NAND_STRUCTURE* record : PGMDEV_HPS_NAND_MGR::get_mgr()->m_flash_list) {
    out.push_back(std::to_string(record->device_id) + " " +
                  std::to_string(record->flash_byte_size));
  }
  out.push_back(text(PGMDEV_HPS_MGR::get_mgr()->get_current_hps() == nullptr));
  return out;
}

// Each thread builds its own device-info and flash managers: they are the caller's, not shared.
ANSWERS dev_info_answers() {
  ANSWERS out;
  PGMDEV_DEV_INFO_MANAGER manager(false, 0);
  for (int family = 1; family < DEV_FAMILY_MAX; family += 5) {
    const std::unique_ptr<PGMDEV_DEV_INFO_RECORD> record(
        manager.get_db_by_family(DEV_FAMILY_ENUM(family)));
    out.push_back(record ? record->pcf + " " + std::to_string(record->family) : "-");
  }
  for (int part = 1; part < DEV_PART_MAX; part += 211) {
    const std::unique_ptr<PGMDEV_DEV_INFO_RECORD> record(
        manager.get_db_by_part(DEV_PART_ENUM(part)));
    out.push_back(record ? record->pcf + " " + record->cfg_dev : "-");
  }
  return out;
}

ANSWERS flash_answers() {
  ANSWERS out;
  PGMDEV_FLASH_MANAGER manager(false, 2, false, false);
  const unsigned char ids[][3] = {
      {0x1F, 0x48, 0x00}, {0x20, 0xBA, 0x18}, {0xEF, 0x40, 0x18}, {0xC2, 0x20, 0x17}, {0, 0, 0}};
  for (const auto& id : ids) {
    for (const bool silicon : {false, true}) {
      const bool found = manager.flash_id_database_mapping(silicon, 0, id, 3);
      const unsigned int index = manager.get_flash_mapping_index(0, true);
      out.push_back(found ? manager.m_flash_database[index].device_name : "-");
    }
  }
  PGMDEV_SFL_FLASH_INFO* flash = manager.get_default_flash(out.front());
  out.push_back(flash ? flash->manufacturer_name : "-");
  return out;
}

ANSWERS host_answers() {
  ANSWERS out;
  for (const char* name : {"QZ40BF256C6N", "qz40bf256i7n", "NO_SUCH_PART"}) {
    out.push_back(std::to_string(dstr_get_dev_part_enum_by_string(name)));
  }
  out.push_back(std::to_string(dstr_get_dev_device_enum_by_string("QZ60B_DIE")));
  out.push_back(gen_get_device_db_fullpath());
  out.push_back(text(cfg_is_on("PGMDEV_ENABLE_GRAMMAR_DEBUG", false)));
  return out;
}

const std::function<ANSWERS()> kServices[] = {
    grammar_answers, part_name_answers, opn_answers,   type_answers,
    hps_answers,     dev_info_answers,  flash_answers, host_answers,
};
constexpr int kServiceCount = static_cast<int>(std::size(kServices));

// Every service's answers, calling the services from the given one on, round the list.
std::vector<ANSWERS> all_answers(int first) {
  std::vector<ANSWERS> answers(kServiceCount);
  for (int step = 0; step < kServiceCount; ++step) {
    const int service = (first + step) % kServiceCount;
    answers[service] = kServices[service]();
  }
  return answers;
}

void delete_singletons() {
  PGMDEV_DDB_GRAMMAR_MGR::delete_mgr();
  PGMDEV_DDB_OPN_MGR::delete_mgr();
  PGMDEV_HPS_MGR::delete_mgr();
  PGMDEV_HPS_SPI_MGR::delete_mgr();
  PGMDEV_HPS_NAND_MGR::delete_mgr();
}

TEST(Threads, EightColdThreadsGetTheAnswersOfOneThread) {
  // A parameter file with two user SPI records, so the list building reads a section too.
  TempModuleDir module_dir;
  Bytes section(PGMDEV_HPS_SPI_MD5, PGMDEV_HPS_SPI_MD5 + PGMDEV_HPS_SECTION_SIGNATURE_BYTES);
  for (unsigned int i = 0; i < 2; ++i) {
    PGMDEV_HPS_SPI_STRUCTURE record = PGMDEV_HPS_SPI_DATABASE[i];
    record.name = "USER_" + std::to_string(i);
    append(section, encode_record(PGMDEV_HPS_SPI_PARAM_TYPE_LIST, record.m_param_pointers,
                                  PGMDEV_HPS_SPI_PARAM_COUNT));
  }
  ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_SPI, section));

  std::vector<std::vector<ANSWERS>> threaded(kThreads);
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &start, &threaded] {
      start.arrive_and_wait();
      threaded[t] = all_answers(t % kServiceCount);
    });
  }
  for (std::thread& thread : threads) thread.join();

  // The same calls from one thread, on singletons made anew.
  delete_singletons();
  const std::vector<ANSWERS> single = all_answers(0);

  // The reference is a real one: a few answers that the shipped data fixes.
  const ANSWERS& grammar = single[0];
  EXPECT_EQ(grammar[1], "QZ40B") << "get_pgm_name(QZ40BF256C6N)";
  EXPECT_EQ(single[1][9], "QZ40BF256C6N") << "get_possible_full_name(QZ40B)";
  EXPECT_EQ(single[4][0], "MICRON USER_0 " + std::to_string(PGMDEV_HPS_SPI_DATABASE[0].siid));
  EXPECT_NE(single[6][0], "-") << "the first identification bytes name a flash";
  for (int t = 0; t < kThreads; ++t) {
    for (int service = 0; service < kServiceCount; ++service) {
      EXPECT_EQ(threaded[t][service], single[service]) << "thread " << t << ", service " << service;
    }
  }
  delete_singletons();
}

}  // namespace
