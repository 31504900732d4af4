// Building blocks of the user-defined flash text that the flash manager's INI
// functions are made of: the configuration key, the 16-bit check sum of the
// check code and the six-bit character layer of the INI text.
#ifndef PGMDEV_FLASH_MANAGER_INI_H
#define PGMDEV_FLASH_MANAGER_INI_H

#include <cstddef>
#include <string>
#include <vector>

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

#endif  // PGMDEV_FLASH_MANAGER_INI_H
