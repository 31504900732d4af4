// pgmdev-tool name NAME: resolves a device name through every function of the device-name
// grammar, then to its catalogue part with the part's OPN ordinal and OPN hash, and prints one
// labelled line per result.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "dev_catalogue.h"
#include "gen.h"
#include "msg.h"
#include "pgmdev.h"
#include "tool_command.h"

namespace {

typedef PGMDEV_DEVICE_GRAMMAR_MGR GRAMMAR;

constexpr unsigned int kNoOpnEnum = 0xFFFFFFFF;
constexpr unsigned long long kNoOpnHash = 0xFFFFFFFFFFFFFFFFull;

// A result line: its label and its value ("" prints as "-").
typedef std::vector<std::pair<std::string, std::string>> LINES;

std::string yes_no(bool value) { return value ? "yes" : "no"; }

// "value (of input)" when the function was given a derived name rather than NAME itself.
std::string of(const std::string& value, const std::string& input, const std::string& name) {
  if (value.empty() || input == name) return value;
  return value + " (of " + input + ")";
}

// The results of the grammar functions for name. The pgm pcf functions are given its pgm name,
// the pcf functions the pcf that name leads to (its pgm pcf, else its catalogue-device pcf), the
// family function its pgm name when name itself has no family, so that a full part name shows
// its whole chain; "(of X)" marks a result of such a derived name.
LINES resolve(const std::string& name) {
  LINES lines;
  const std::string package = GRAMMAR::get_package_name(name, true);
  const std::string pgm = GRAMMAR::get_pgm_name(name, false, true);
  const std::string pgm_or_name = pgm.empty() ? name : pgm;
  std::string pgm_part_pcf;
  std::string pgm_family_pcf;
  GRAMMAR::get_pgm_pcfs(name, pgm_part_pcf, pgm_family_pcf);
  std::string dev_part_pcf;
  std::string dev_family_pcf;
  GRAMMAR::get_dev_pcfs(name, dev_part_pcf, dev_family_pcf);
  std::string pcf = pgm_part_pcf.empty() ? dev_part_pcf : pgm_part_pcf;
  if (pcf.empty()) pcf = name;
  std::string family = GRAMMAR::get_family(name);
  std::string family_input = name;
  if (family.empty() && !pgm.empty()) {
    family = GRAMMAR::get_family(pgm);
    family_input = pgm;
  }

  lines.emplace_back("package", package);
  lines.emplace_back("pgm name", pgm);
  lines.emplace_back("pgm part pcf", of(GRAMMAR::get_pgm_part_pcf(pgm_or_name), pgm_or_name, name));
  lines.emplace_back("pgm family pcf",
                     of(GRAMMAR::get_pgm_family_pcf(pgm_or_name), pgm_or_name, name));
  lines.emplace_back("pgm pcfs", pgm_part_pcf + " / " + pgm_family_pcf);
  lines.emplace_back("dev part pcf", GRAMMAR::get_dev_part_pcf(name));
  lines.emplace_back("dev family pcf", GRAMMAR::get_dev_family_pcf(name));
  lines.emplace_back("dev pcfs", dev_part_pcf + " / " + dev_family_pcf);
  lines.emplace_back("pcf family pcf", of(GRAMMAR::get_pcf_family_pcf(pcf), pcf, name));
  lines.emplace_back("pcf device", of(GRAMMAR::get_pcf_device(pcf), pcf, name));
  lines.emplace_back("family", of(family, family_input, name));
  lines.emplace_back("use_package_name", yes_no(GRAMMAR::use_package_name(name)));
  lines.emplace_back("use_full_name", yes_no(GRAMMAR::use_full_name(name)));
  return lines;
}

// The catalogue part that name completes to (the first part whose name, package name or pgm name
// it is), with its part number, OPN ordinal and OPN hash; "" for each when no part matches.
LINES resolve_part(const std::string& name) {
  // The grammar lines see the trimmed name; so does the completion, which does not trim.
  const std::string trimmed = gen_remove_leading_and_trailing_white_spaces(name);
  std::string part;
  try {
    part = PGMDEV_MGR::get_possible_full_name(trimmed);
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION&) {
    // No part matches: the completion reports the miss as an internal error.
  }
  std::string number;
  std::string opn_enum;
  std::string opn_hash;
  if (!part.empty()) {
    number = "part " + std::to_string(static_cast<int>(dstr_get_dev_part_enum_by_string(part)));
    const unsigned int ordinal = PGMDEV_MGR::get_opn_enum(part);
    if (ordinal != kNoOpnEnum) opn_enum = std::to_string(ordinal);
    const unsigned long long hash = PGMDEV_MGR::get_opn_hash(part);
    if (hash != kNoOpnHash) {
      char text[32];
      std::snprintf(text, sizeof text, "0x%012llx", hash);
      opn_hash = text;
    }
  }
  LINES lines;
  lines.emplace_back("catalogue part", part.empty() ? part : part + " (" + number + ")");
  lines.emplace_back("OPN ordinal", opn_enum);
  lines.emplace_back("OPN hash", opn_hash);
  return lines;
}

int run_name(const std::vector<std::string>& arguments) {
  if (arguments.size() != 1) {
    std::fprintf(stderr, "usage: pgmdev-tool name NAME\n");
    return 2;
  }
  std::printf("%-17s: %s\n", "name", arguments[0].c_str());
  for (const LINES& lines : {resolve(arguments[0]), resolve_part(arguments[0])}) {
    for (const auto& [label, value] : lines) {
      std::printf("%-17s: %s\n", label.c_str(), value.empty() ? "-" : value.c_str());
    }
  }
  return 0;
}

}  // namespace

PGMDEV_TOOL_COMMAND(
    "name", "NAME",
    "resolve a device name to its package, pgm, pcf and family names, its catalogue "
    "part and the part's OPN ordinal and hash",
    run_name);
