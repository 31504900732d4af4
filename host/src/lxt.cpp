// Line tokenizer without quoting.
#include "lxt.h"

#include "msg.h"

LXT_TOKENIZER::LXT_TOKENIZER(const std::string& delimiters, bool keep_empty,
                             const std::string& open_quotes, const std::string& close_quotes,
                             const std::string& escapes, bool strip_quotes)
    : m_delimiters(delimiters), m_keep_empty(keep_empty) {
  if (!open_quotes.empty() || !close_quotes.empty() || !escapes.empty() || strip_quotes) {
    MSG_INTERNAL_ERROR::report("quoting is not supported by this tokenizer", "PGMHOST", __FILE__,
                               __LINE__);
  }
}

size_t LXT_TOKENIZER::tokenize(const std::string& line, std::vector<std::string>& tokens) const {
  tokens.clear();
  std::string current;
  for (const char c : line) {
    if (m_delimiters.find(c) != std::string::npos) {
      if (m_keep_empty || !current.empty()) tokens.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (m_keep_empty || !current.empty()) tokens.push_back(current);
  return tokens.size();
}
