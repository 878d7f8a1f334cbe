#pragma once
#include <QString>
#include <string>

// The framework keeps texts as byte strings. Most are UTF-8, but plug-ins may hand over texts in
// an 8-bit code page; those are shown as Latin-1 rather than as replacement characters.
QString ToQString(const std::string& bytes);
QString ToQString(const char* bytes);
std::string FromQString(const QString& text);
