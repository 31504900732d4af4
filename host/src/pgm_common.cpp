// Checksums, digests, number conversion and the e-mail outbox.
#include "pgm_common.h"

// The direct SHA routines are marked deprecated in OpenSSL 3 in favour of EVP, which costs a
// provider set-up on first use; they remain part of its API.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <mutex>

#include "cfg.h"
#include "crc32_msb.h"
#include "gen.h"
#include "msg.h"

namespace {

std::mutex g_outbox_mutex;
std::vector<PGM_COMMON_MAIL>& outbox() {
  static std::vector<PGM_COMMON_MAIL> mails;
  return mails;
}

unsigned int g_mail_sequence = 0;

bool digit_value(char c, bool hex, DWORD& digit) {
  if (c >= '0' && c <= '9') {
    digit = static_cast<DWORD>(c - '0');
    return true;
  }
  if (hex && c >= 'a' && c <= 'f') {
    digit = static_cast<DWORD>(c - 'a' + 10);
    return true;
  }
  if (hex && c >= 'A' && c <= 'F') {
    digit = static_cast<DWORD>(c - 'A' + 10);
    return true;
  }
  return false;
}

}  // namespace

DWORD PGM_COMMON::msb_calculate_crc32(const unsigned char* data, unsigned int start_bit,
                                      unsigned int bits, DWORD init, DWORD poly, bool msb_first) {
  DWORD reg = init;
  // Whole bytes of the common case go through the table.
  if (msb_first && poly == pgmhost_crc::kCrc32Poly && start_bit % 8 == 0) {
    const size_t whole = bits / 8;
    reg = pgmhost_crc::crc32_msb_update(reg, data + start_bit / 8, whole);
    start_bit += static_cast<unsigned int>(whole * 8);
    bits -= static_cast<unsigned int>(whole * 8);
  }
  const DWORD reflected_poly = [poly] {
    DWORD r = 0;
    for (int i = 0; i < 32; ++i) {
      if (poly & (1u << i)) r |= 1u << (31 - i);
    }
    return r;
  }();
  for (unsigned int i = 0; i < bits; ++i) {
    const unsigned int position = start_bit + i;
    const unsigned char byte = data[position / 8];
    if (msb_first) {
      const DWORD bit = (byte >> (7 - position % 8)) & 1u;
      const DWORD top = (reg >> 31) & 1u;
      reg <<= 1;
      if (top ^ bit) reg ^= poly;
    } else {
      const DWORD bit = (byte >> (position % 8)) & 1u;
      const DWORD low = reg & 1u;
      reg >>= 1;
      if (low ^ bit) reg ^= reflected_poly;
    }
  }
  return reg;
}

namespace {

// One digest computed with libcrypto's direct SHA routines. They need none of the provider set-up
// that the first EVP digest of a process pays (about a millisecond), which would otherwise be part
// of the first OPN hash answer of every short-lived process.
template <typename Context, int (*Init)(Context*), int (*Update)(Context*, const void*, size_t),
          int (*Final)(unsigned char*, Context*)>
bool direct_digest(const unsigned char* data, unsigned int length, unsigned char* digest) {
  Context context;
  return Init(&context) == 1 && Update(&context, data, length) == 1 && Final(digest, &context) == 1;
}

}  // namespace

unsigned char* PGM_COMMON::get_block_sha(const unsigned char* data, unsigned int length,
                                         unsigned int digest_bytes) {
  bool (*compute)(const unsigned char*, unsigned int, unsigned char*) = nullptr;
  switch (digest_bytes) {
    case SHA_DIGEST_LENGTH:
      compute = direct_digest<SHA_CTX, SHA1_Init, SHA1_Update, SHA1_Final>;
      break;
    case SHA256_DIGEST_LENGTH:
      compute = direct_digest<SHA256_CTX, SHA256_Init, SHA256_Update, SHA256_Final>;
      break;
    case SHA384_DIGEST_LENGTH:
      compute = direct_digest<SHA512_CTX, SHA384_Init, SHA384_Update, SHA384_Final>;
      break;
    case SHA512_DIGEST_LENGTH:
      compute = direct_digest<SHA512_CTX, SHA512_Init, SHA512_Update, SHA512_Final>;
      break;
    default:
      return nullptr;
  }
  unsigned char* digest = new unsigned char[digest_bytes];
  static const unsigned char kEmpty = 0;
  if (!compute(data ? data : &kEmpty, length, digest)) {
    delete[] digest;
    return nullptr;
  }
  return digest;
}

bool PGM_COMMON::compare_string(const std::string& a, const std::string& b, bool ignore_case) {
  return ignore_case ? gen_stricmp(a, b) == 0 : a == b;
}

DWORD PGM_COMMON::convert_string_to_dword(const std::string& text, bool trim, bool* ok,
                                          DWORD* value, bool allow_hex) {
  const std::string subject = trim ? gen_remove_leading_and_trailing_white_spaces(text) : text;
  size_t position = 0;
  bool hex = false;
  if (allow_hex && subject.size() >= 2 && subject[0] == '0' &&
      (subject[1] == 'x' || subject[1] == 'X')) {
    hex = true;
    position = 2;
  }
  bool converted = position < subject.size();
  QWORD result = 0;
  for (; converted && position < subject.size(); ++position) {
    DWORD digit = 0;
    if (!digit_value(subject[position], hex, digit)) {
      converted = false;
      break;
    }
    result = result * (hex ? 16u : 10u) + digit;
    if (result > 0xFFFFFFFFull) converted = false;
  }
  const DWORD number = converted ? static_cast<DWORD>(result) : 0u;
  if (ok != nullptr) {
    *ok = converted;
  } else if (!converted) {
    MSG_INTERNAL_ERROR::report("Invalid string to integer conversion", "PGMHOST", __FILE__,
                               __LINE__);
  }
  if (value != nullptr) *value = number;
  return number;
}

bool PGM_COMMON::send_auto_email_file(const std::vector<PGM_COMMON_INI_EMAIL_ADDR_ENUM>& recipients,
                                      const std::string& title, const std::string& body,
                                      bool /*attach_file*/, const std::string& /*file*/,
                                      const std::vector<std::string>& /*cc*/,
                                      const std::vector<std::string>& /*attachments*/) {
  unsigned int sequence;
  {
    std::lock_guard<std::mutex> lock(g_outbox_mutex);
    outbox().push_back(PGM_COMMON_MAIL{recipients, title, body});
    sequence = ++g_mail_sequence;
  }
  const std::string directory = cfg_get_value("PGMDEV_MAIL_DIR");
  if (!directory.empty()) {
    char name[64];
    std::snprintf(name, sizeof(name), "/mail_%ld_%u.txt", static_cast<long>(getpid()), sequence);
    std::ofstream file(directory + name, std::ios::binary);
    file << "To:";
    for (const PGM_COMMON_INI_EMAIL_ADDR_ENUM recipient : recipients) file << ' ' << recipient;
    file << "\nSubject: " << title << "\n\n" << body;
  }
  return true;
}

std::vector<PGM_COMMON_MAIL> PGM_COMMON::get_outbox() {
  std::lock_guard<std::mutex> lock(g_outbox_mutex);
  return outbox();
}

void PGM_COMMON::clear_outbox() {
  std::lock_guard<std::mutex> lock(g_outbox_mutex);
  outbox().clear();
}
