// Common programmer utilities of the host: checksums, digests, number conversion, e-mail.
#ifndef PGMHOST_PGM_COMMON_H
#define PGMHOST_PGM_COMMON_H

#include <string>
#include <vector>

#include "pgmhost_export.h"

// Recipient identifiers of the host's address book.
enum PGM_COMMON_INI_EMAIL_ADDR_ENUM {
  PGM_COMMON_INI_EMAIL_ADDR_PGM_OWNER = 0,
  PGM_COMMON_INI_EMAIL_ADDR_DEVICE_DB_OWNER = 1,
  PGM_COMMON_INI_EMAIL_ADDR_RELEASE_ENGINEERING = 2,
  PGM_COMMON_INI_EMAIL_ADDR_MAX = 3
};

// One message delivered by send_auto_email_file.
struct PGM_COMMON_MAIL {
  std::vector<PGM_COMMON_INI_EMAIL_ADDR_ENUM> recipients;
  std::string title;
  std::string body;
};

class PGMHOST_API PGM_COMMON {
 public:
  // CRC register over `bits` bits of data starting at bit `start_bit`, with initial register
  // `init` and polynomial `poly`. With msb_first each byte is fed most significant bit first
  // and the register shifts left; otherwise bits are fed least significant first into a
  // reflected register. The final register is returned without complement; with
  // (0, bits, 0xFFFFFFFF, 0x04C11DB7, true) its complement is the CRC-32/BZIP2 of the data.
  static DWORD msb_calculate_crc32(const unsigned char* data, unsigned int start_bit,
                                   unsigned int bits, DWORD init, DWORD poly, bool msb_first);

  // A new array of digest_bytes digest bytes of data, freed by the caller with delete[]:
  // 32 gives SHA-256 (20 SHA-1, 48 SHA-384, 64 SHA-512). Null for any other size.
  static unsigned char* get_block_sha(const unsigned char* data, unsigned int length,
                                      unsigned int digest_bytes);

  // Whether a and b are the same text; ignore_case compares ASCII letters without case.
  static bool compare_string(const std::string& a, const std::string& b, bool ignore_case);

  // Converts text to a 32-bit number: decimal digits, or hexadecimal digits after "0x" or
  // "0X"; no sign, no blanks, nothing else; a value that does not fit 32 bits fails.
  //  - trim: remove leading and trailing white space from text first.
  //  - allow_hex: accept the "0x"/"0X" form; when false only decimal digits convert.
  // On failure the result is 0. When ok is given it receives whether the text converted; when
  // ok is null a text that does not convert is an internal error ("Invalid string to integer
  // conversion"). When value is given it receives the result too.
  static DWORD convert_string_to_dword(const std::string& text, bool trim, bool* ok, DWORD* value,
                                       bool allow_hex);

  // Delivers nothing: records the message in the in-process outbox and, when PGMDEV_MAIL_DIR
  // is set, writes it as one file in that directory. attach_file, file, cc and attachments
  // are accepted for the caller's sake and not used. Returns true.
  static bool send_auto_email_file(const std::vector<PGM_COMMON_INI_EMAIL_ADDR_ENUM>& recipients,
                                   const std::string& title, const std::string& body,
                                   bool attach_file, const std::string& file,
                                   const std::vector<std::string>& cc,
                                   const std::vector<std::string>& attachments);

  // The outbox, for hosts and tests.
  static std::vector<PGM_COMMON_MAIL> get_outbox();
  static void clear_outbox();
};

#endif  // PGMHOST_PGM_COMMON_H
