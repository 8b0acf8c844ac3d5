// The hand-over report drawn as a PDF: its HTML laid out on landscape A4 pages with a font small
// enough that every column of its tables is as wide as its widest word, so that no heading or
// value is broken inside a word.
#pragma once

#include <string>

namespace zd {

// The PDF's bytes; empty when Qt could not draw it. Needs a QGuiApplication.
std::string ReportPdf(const std::string& html, const std::string& title);

}  // namespace zd
