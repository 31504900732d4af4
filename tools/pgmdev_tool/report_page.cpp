// The supported-devices page rendered as one HTML document.
#include "report_page.h"

#include <cstdio>

namespace pgmdev_tool {
namespace {

constexpr unsigned long long kKilo = 1024;
// Rows a table shows at once while the reader types; more on request.
constexpr unsigned int kShownRows = 300;

// The page's look: a sticky bar with the search box, tables whose headers stay under it, ids
// and numbers in columns of their own style (added per table by column_style()).
constexpr const char kStyle[] = R"CSS(
:root{--bar:3.1rem}
*{box-sizing:border-box}
[hidden]{display:none!important}
html{scroll-padding-top:calc(var(--bar) + .5rem)}
body{margin:0;font:14px/1.45 system-ui,"Segoe UI",Roboto,"Helvetica Neue",Arial,sans-serif;color:#1e262e;background:#f4f6f8}
.bar{position:sticky;top:0;z-index:3;height:var(--bar);display:flex;align-items:center;gap:1.25rem;padding:0 1.5rem;background:#22384f;color:#fff;box-shadow:0 1px 4px rgba(0,0,0,.3)}
.bar b{font-size:15px;white-space:nowrap}
.bar input{flex:0 1 32rem;min-width:12rem;font:inherit;padding:.3rem .6rem;border:0;border-radius:4px}
.bar nav{white-space:nowrap;overflow:hidden}
.bar a{color:#bcd6f0;text-decoration:none;margin-right:1rem}
.bar a:hover{color:#fff;text-decoration:underline}
main{padding:.25rem 1.5rem 3rem}
h1{font-size:1.5rem;margin:.9rem 0 .3rem}
h2{font-size:1.15rem;margin:1.8rem 0 .2rem}
h2 span{font-weight:normal;color:#5a6672;font-size:.9rem;margin-left:.4rem}
p{max-width:64rem;margin:.3rem 0}
.note{color:#4d5863}
dl{display:grid;grid-template-columns:max-content auto;gap:.15rem 1.2rem;margin:.7rem 0}
dt{color:#5a6672}
dd{margin:0}
#counts{font-weight:600;margin:.7rem 0 0}
code{font-family:ui-monospace,"DejaVu Sans Mono",Menlo,Consolas,monospace;font-size:.92em}
table{border-collapse:separate;border-spacing:0;background:#fff;border:1px solid #d3d9df;margin:.5rem 0}
th{position:sticky;top:var(--bar);z-index:1;background:#e6ecf1;text-align:left;font-weight:600;padding:.35rem .55rem;border-bottom:1px solid #b9c4ce;white-space:nowrap;cursor:help}
td{padding:.2rem .55rem;border-bottom:1px solid #edf0f2;white-space:nowrap;vertical-align:top}
tbody tr:hover td{background:#fff6d5}
td:empty::after{content:"\2014";color:#b0b8c0}
.none{color:#6b4300;margin:.1rem 0 0}
.more{margin:.5rem 0}
.more button{font:inherit;padding:.1rem .6rem;border:1px solid #8aa0b4;border-radius:4px;background:#fff;cursor:pointer}
body.filtering header .note,body.filtering header dl{display:none}
section.empty .note{display:none}
section.empty h2{margin-top:1rem}
)CSS";

// Filters every table as the reader types: a row stays when its cells, with letter case and
// blanks ignored, hold the search text. Each row's text is normalised once; a keystroke only
// compares and touches the rows whose visibility changes, at most once per frame. A table
// shows at most data-limit rows until the reader asks for all of them: laying out thousands
// of rows again at every keystroke is what would make typing slow.
constexpr const char kScript[] = R"JS(
(function () {
  var box = document.getElementById('q'), tables = [], last = null;
  function norm(text) { return text.replace(/\s+/g, '').toUpperCase(); }
  function number(n) { return n.toLocaleString('en'); }
  function part(name, what) { return document.getElementById(name + what); }
  document.querySelectorAll('table[data-name]').forEach(function (table) {
    var name = table.dataset.name, rows = table.tBodies[0].rows, keys = [];
    for (var i = 0; i < rows.length; i++) {
      var cells = rows[i].cells, key = '';
      for (var j = 0; j < cells.length; j++) key += norm(cells[j].textContent) + '\n';
      keys.push(key);
    }
    var t = {table: table, rows: rows, keys: keys, limit: +table.dataset.limit, all: false,
             section: part(name, ''), count: part(name, '-count'), none: part(name, '-none'),
             more: part(name, '-more')};
    t.more.querySelector('button').addEventListener('click', function () {
      t.all = true;
      apply();
    });
    tables.push(t);
  });
  function apply() {
    var query = norm(box.value);
    tables.forEach(function (t) {
      if (query !== last) t.all = false;
      var matches = 0;
      for (var i = 0; i < t.rows.length; i++) {
        var match = query === '' || t.keys[i].indexOf(query) >= 0;
        var hide = !match || (!t.all && matches >= t.limit);
        if (match) matches++;
        if (t.rows[i].hidden !== hide) t.rows[i].hidden = hide;
      }
      var total = number(t.rows.length);
      t.count.textContent = query ? number(matches) + ' of ' + total : total;
      t.more.hidden = t.all || matches <= t.limit;
      t.more.firstChild.textContent = 'Showing the first ' + number(t.limit) + ' of ' +
          number(matches) + (query ? ' matching rows.' : ' rows.');
      t.table.hidden = matches === 0;
      t.none.hidden = matches !== 0;
      t.section.classList.toggle('empty', matches === 0);
    });
    last = query;
    // While searching, the results come first: the introduction folds away.
    document.body.classList.toggle('filtering', query !== '');
    try {
      history.replaceState(null, '', query ? '?q=' + encodeURIComponent(box.value.trim())
                                           : location.pathname);
    } catch (e) {}
  }
  var frame = 0;
  box.addEventListener('input', function () {
    if (!frame) frame = requestAnimationFrame(function () { frame = 0; apply(); });
  });
  var start = new URLSearchParams(location.search).get('q');
  if (start) box.value = start;
  apply();
})();
)JS";

// Per-column alignment and font, by position, so that rows carry no class attributes.
std::string column_style(const ReportTable& table) {
  std::string css;
  for (std::size_t column = 0; column < table.columns.size(); ++column) {
    const ReportColumn& style = table.columns[column];
    const std::string cells =
        "#" + table.name + "-table td:nth-child(" + std::to_string(column + 1) + ")";
    if (style.numeric) {
      css += cells + ",#" + table.name + "-table th:nth-child(" + std::to_string(column + 1) +
             "){text-align:right;font-variant-numeric:tabular-nums}\n";
    }
    if (style.code) {
      css += cells +
             "{font-family:ui-monospace,\"DejaVu Sans Mono\",Menlo,Consolas,monospace;"
             "font-size:.92em}\n";
    }
    if (style.wrap) css += cells + "{white-space:normal;max-width:24rem}\n";
  }
  return css;
}

void append_table(std::string& out, const ReportTable& table) {
  const std::string total = grouped_number(table.rows.size());
  out += "<section id=\"" + table.name + "\">\n<h2>" + html_escape(table.title) + "<span id=\"" +
         table.name + "-count\">" + total + "</span></h2>\n";
  if (!table.note.empty()) out += "<p class=\"note\">" + html_escape(table.note) + "</p>\n";
  out += "<p class=\"none\" id=\"" + table.name + "-none\" hidden>No " +
         html_escape(table.singular) + " matches the search.</p>\n";
  out += "<p class=\"more\" id=\"" + table.name +
         "-more\" hidden><span></span> <button "
         "type=\"button\">Show all</button> or type in the search box to narrow the list.</p>\n";
  out += "<table id=\"" + table.name + "-table\" data-name=\"" + table.name + "\" data-limit=\"" +
         std::to_string(kShownRows) + "\">\n<thead><tr>";
  for (const ReportColumn& column : table.columns) {
    out += "<th title=\"" + html_escape(column.explanation) + "\">" + html_escape(column.header) +
           "</th>";
  }
  out += "</tr></thead>\n<tbody>\n";
  // End tags of cells are optional in HTML; leaving them out keeps the part table, thousands of
  // rows, small.
  for (const std::vector<std::string>& row : table.rows) {
    out += "<tr>";
    for (const std::string& cell : row) out += "<td>" + html_escape(cell);
    // The row's end tag keeps the line break out of its last cell.
    out += "</tr>\n";
  }
  out += "</tbody>\n</table>\n</section>\n";
}

std::string whole_or_decimal(unsigned long long value, unsigned long long unit) {
  char text[48];
  if (value % unit == 0) {
    std::snprintf(text, sizeof text, "%llu", value / unit);
  } else {
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(value) / unit);
  }
  return text;
}

// value in the largest of units (each kKilo times the one before) that divides it.
std::string in_binary_units(unsigned long long value, const char* const units[], int count,
                            const std::string& plain) {
  if (value == 0) return "0 " + plain;
  int unit = 0;
  unsigned long long scaled = value;
  while (unit + 1 < count && scaled % kKilo == 0) {
    scaled /= kKilo;
    ++unit;
  }
  return std::to_string(scaled) + " " + (unit == 0 ? plain : std::string(units[unit]));
}

}  // namespace

std::string html_escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string grouped_number(unsigned long long value) {
  std::string digits = std::to_string(value);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<std::size_t>(at), ",");
  }
  return digits;
}

std::string file_size_text(unsigned long long bytes) {
  std::string size;
  if (bytes >= kKilo * kKilo) {
    size = whole_or_decimal(bytes * 10 / (kKilo * kKilo), 10) + " MB";
  } else if (bytes >= kKilo) {
    size = whole_or_decimal(bytes * 10 / kKilo, 10) + " KB";
  } else {
    return grouped_number(bytes) + " bytes";
  }
  return size + " (" + grouped_number(bytes) + " bytes)";
}

std::string bits_text(unsigned long long bits) {
  static const char* const kUnits[] = {"bit", "Kbit", "Mbit", "Gbit"};
  return in_binary_units(bits, kUnits, 4, "bit");
}

std::string bytes_text(unsigned long long bytes) {
  static const char* const kUnits[] = {"bytes", "KB", "MB", "GB"};
  return in_binary_units(bytes, kUnits, 4, "bytes");
}

std::string render_report_html(const ReportPage& page) {
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<meta name=\"generator\" content=\"pgmdev-tool " +
      html_escape(page.library_version) + "\">\n<title>" + html_escape(page.title) +
      "</title>\n<style>" + kStyle;
  for (const ReportTable& table : page.tables) out += column_style(table);
  out += "</style>\n</head>\n<body>\n<div class=\"bar\"><b>pgmdev " +
         html_escape(page.library_version) +
         "</b><input id=\"q\" type=\"search\" autofocus autocomplete=\"off\" spellcheck=\"false\" "
         "aria-label=\"Search every table\" placeholder=\"Search: QZ40BF256, Ternfield, W25Q128, "
         "EF 40 18\"><nav>";
  for (const ReportTable& table : page.tables) {
    out += "<a href=\"#" + table.name + "\">" + html_escape(table.title) + "</a>";
  }
  out += "</nav></div>\n<main>\n<header>\n<h1>" + html_escape(page.title) + "</h1>\n";
  out +=
      "<p class=\"note\">Every table below is what the installed data answers, through the "
      "library's own lookups. Type in the search box to filter every table at once (letter case "
      "and blanks are ignored); open the page as <code>index.html?q=TEXT</code> to start "
      "filtered. Hover over a column header for what it holds.</p>\n<dl>\n";
  for (const ReportFact& fact : page.facts) {
    out += "<dt>" + html_escape(fact.label) + "</dt><dd>";
    for (std::size_t line = 0; line < fact.lines.size(); ++line) {
      out += (line == 0 ? "" : "<br>") + html_escape(fact.lines[line]);
    }
    out += "</dd>\n";
  }
  out += "</dl>\n<p id=\"counts\">" + html_escape(page.counts) + "</p>\n</header>\n";
  for (const ReportTable& table : page.tables) append_table(out, table);
  out += "</main>\n<script>" + std::string(kScript) + "</script>\n</body>\n</html>\n";
  return out;
}

}  // namespace pgmdev_tool
