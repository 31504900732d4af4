// Building blocks of the user-defined flash text that the flash manager's INI
// functions are made of: the configuration key, the 16-bit check sum of the
// check code, the six-bit character layer of the INI text, the record text, the
// sealed entry and the loader's soundness rules. The dialogue and the SFDP path
// make their texts with the same functions.
#ifndef PGMDEV_FLASH_MANAGER_INI_H
#define PGMDEV_FLASH_MANAGER_INI_H

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

#include "pgmdev_flash_manager_auto_export.h"

// The ranges that the loader accepts for the times of a user-defined flash.
inline constexpr DWORD kUserFlashMinBulkEraseSeconds = 1;
inline constexpr DWORD kUserFlashMaxBulkEraseSeconds = 900;
inline constexpr DWORD kUserFlashMinSectorEraseSeconds = 1;
inline constexpr DWORD kUserFlashMaxSectorEraseSeconds = 60;
inline constexpr DWORD kUserFlashMinProgramMicroseconds = 1000;
inline constexpr DWORD kUserFlashMaxProgramMicroseconds = 1000000;

// The configuration key of the user-defined flash, assembled from its scrambled
// form.
std::string pgmdev_flash_ini_config_key();

// CRC-16/XMODEM (polynomial 0x1021, initial 0, no reflection, no final XOR) of
// length bytes.
unsigned short pgmdev_crc16_xmodem(const unsigned char *data, std::size_t length);

// Writes bytes six bits per character: the bytes form one bit string, least
// significant bit of byte 0 first; character k carries bits 6k .. 6k+5 (bit 6k
// lowest) as "0"-"9", "A"-"Z", "a"-"z",
// "@", "-" for 0 to 63. The last character takes the remaining bits.
std::string pgmdev_ini_pack(const unsigned char *bytes, std::size_t count);

// The reverse: the ceil(6 x length / 8) bytes that text carries, in bytes.
// False when a character is outside the alphabet.
bool pgmdev_ini_unpack(const std::string &text, std::vector<unsigned char> &bytes);

// The first of the loader's soundness rules that a user-defined flash breaks,
// as "member value: the rule"; empty when the record is sound.
std::string pgmdev_user_flash_fault(const PGMDEV_SFL_FLASH_INFO &flash);

// The record text of a record: "@" before each of the 33 values in schema
// order and a closing "@"; texts as they are, flags "1" or "0", numbers as
// PGMDEV_FLASH_MANAGER::to_string writes them.
std::string pgmdev_flash_record_text(const PGMDEV_SFL_FLASH_INFO &flash);

// One INI entry: the record text, "#", its check code for the running suite
// version, ";".
std::string pgmdev_seal_flash_entry(const std::string &record_text);

// The INI text of entries, once it decodes back to the same entries; empty
// otherwise, with the codec's message or the counter-check's on out.
std::string pgmdev_encode_flash_entries(const std::string &entries, std::ostream &out);

#endif  // PGMDEV_FLASH_MANAGER_INI_H
