// One object of every flash parameter type and the pointer to the one of a given type, to
// build the values array of a record decoder call over any type list. Shared by the tests and
// the fuzz target.
#ifndef PGMDEV_PARAM_FIELDS_H
#define PGMDEV_PARAM_FIELDS_H

#include <string>

#include "pgmdev_types.h"

struct PgmdevParamFields {
  std::string text;
  bool flag = false;
  unsigned char byte = 0;
  unsigned short word = 0;
  unsigned int dword = 0;
  unsigned long long qword = 0;

  // The object behind a value of this type; the qword for anything that is not a type.
  void* pointer(PGMDEV_PARAM_TYPE type) {
    switch (type) {
      case PGMDEV_PARAM_STRING:
        return &text;
      case PGMDEV_PARAM_BOOL:
        return &flag;
      case PGMDEV_PARAM_BYTE:
        return &byte;
      case PGMDEV_PARAM_WORD:
        return &word;
      case PGMDEV_PARAM_DWORD:
        return &dword;
      default:
        return &qword;
    }
  }
};

#endif  // PGMDEV_PARAM_FIELDS_H
