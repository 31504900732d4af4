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

// What every user-defined flash has, whichever way it is defined: the suite identifier, no gate,
// names of at most 19 characters, 4-byte addresses above 128 Mbit.
inline constexpr BYTE kUserFlashNorvikId = 32;
inline constexpr const char kUserFlashGate[] = "NONE";
inline constexpr std::size_t kUserFlashMaxNameLength = 19;
inline constexpr DWORD kUserFlashByte4AddressingAbove = 0x8000000;  // bits: 128 Mbit

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

// The first of the loader's soundness checks that a user-defined flash fails, as "member value
// is not ..." (its member name first); empty when the loader would take the flash.
std::string pgmdev_unsound_reason(const PGMDEV_SFL_FLASH_INFO &flash);

// The record text of a record: "@" before each of the 33 values in schema
// order and a closing "@"; texts as they are, flags "1" or "0", numbers as
// PGMDEV_FLASH_MANAGER::to_string writes them.
std::string pgmdev_flash_record_text(const PGMDEV_SFL_FLASH_INFO &flash);

// One INI entry: the record text, "#", its check code for the running suite
// version, ";".
std::string pgmdev_seal_flash_entry(const std::string &record_text);

// The INI text of sealed entries (one after another), made only when it decodes back to the same
// entries and the loader would take each entry's flash with the 33 values it was made of.
// Otherwise "": the codec's or the counter-check's message is written to out, and a text that
// the loader would refuse leaves in refusal "the loader would refuse flash N: " and the check
// it fails (refusal is empty otherwise).
std::string pgmdev_encode_flash_entries(const std::vector<std::string> &entries, std::ostream &out,
                                        std::string &refusal);

#endif  // PGMDEV_FLASH_MANAGER_INI_H
