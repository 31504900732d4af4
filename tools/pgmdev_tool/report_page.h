// The supported-devices page as data, and its rendering as one self-contained HTML document:
// no outside scripts, styles, fonts or images, and one small inline script that filters every
// table as the reader types (and from the page's ?q= parameter).
//
// The command (cmd_report.cpp) fills a ReportPage from the library's answers; this part only
// lays them out. Cells hold plain text, which the renderer escapes; an empty cell shows a dash.
#ifndef PGMDEV_TOOL_REPORT_PAGE_H
#define PGMDEV_TOOL_REPORT_PAGE_H

#include <string>
#include <vector>

namespace pgmdev_tool {

struct ReportColumn {
  std::string header;
  std::string explanation;  // the header's tooltip
  bool numeric = false;     // right-aligned
  bool code = false;        // identifiers and ids, in a fixed-width font
  bool wrap = false;        // lists: wrapped within a bounded width
};

struct ReportTable {
  std::string name;      // element ids: NAME (section), NAME-table, NAME-count, NAME-none
  std::string title;     // the section heading
  std::string singular;  // "part": "No part matches the search."
  std::string note;      // what the table shows, under the heading
  std::vector<ReportColumn> columns;
  std::vector<std::vector<std::string>> rows;
};

struct ReportFact {
  std::string label;
  std::vector<std::string> lines;
};

struct ReportPage {
  std::string title;
  std::string library_version;
  std::vector<ReportFact> facts;  // versions, database files, catalogue
  std::string counts;             // the counts line
  std::vector<ReportTable> tables;
};

// The whole document.
std::string render_report_html(const ReportPage& page);

// Text with &, <, >, " and ' replaced by character references.
std::string html_escape(const std::string& text);

// Numbers as people read them: "9,389"; a size in bytes as "12.4 KB (12,734 bytes)".
std::string grouped_number(unsigned long long value);
std::string file_size_text(unsigned long long bytes);

// Flash sizes in datasheet units: bits as "512 Kbit", "128 Mbit" or "2 Gbit" (the largest
// unit that gives a whole number), bytes as "4 KB", "64 KB" or "1 MB" (or "N bytes").
std::string bits_text(unsigned long long bits);
std::string bytes_text(unsigned long long bytes);

}  // namespace pgmdev_tool

#endif  // PGMDEV_TOOL_REPORT_PAGE_H
