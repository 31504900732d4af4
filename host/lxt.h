// Line tokenizer of the host.
#ifndef PGMHOST_LXT_H
#define PGMHOST_LXT_H

#include <string>
#include <vector>

#include "pgmhost_export.h"

// Splits a line at any of the delimiter characters. With keep_empty true, two adjacent
// delimiters (and a delimiter at either end of the line) give an empty token, so a line with
// k delimiters always gives k + 1 tokens; with it false, empty tokens are dropped. The three
// texts and the last flag are quoting options that the stand-in does not support: they must be
// empty and false.
class PGMHOST_API LXT_TOKENIZER {
 public:
  LXT_TOKENIZER(const std::string& delimiters, bool keep_empty, const std::string& open_quotes,
                const std::string& close_quotes, const std::string& escapes, bool strip_quotes);
  // Replaces tokens with the tokens of line; returns their number.
  size_t tokenize(const std::string& line, std::vector<std::string>& tokens) const;

 private:
  std::string m_delimiters;
  bool m_keep_empty;
};

#endif  // PGMHOST_LXT_H
