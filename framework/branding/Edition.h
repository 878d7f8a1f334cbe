#pragma once
#include <string>

// The edition is fixed when the program is built; only names, pictures, help file, web link and
// the version shown differ between editions.
extern const std::string EditionId;
extern const std::string ProductName;
extern const std::string HelpFileName;
extern const std::string FrameworkVersion;
extern const std::string BuildYear;
// The date text the year is taken from ("Jul 18 2003" style).
extern const std::string BuildDate;

// The year part of a build date text: its last four characters, "" when it has four or fewer.
std::string BuildYearOf(const std::string& buildDate);

// Edition table lookups for an arbitrary identifier (the build's values above use EditionId).
struct EditionInfo {
    std::string productName;
    std::string helpFileName;
    std::string frameworkVersion;
};
EditionInfo EditionFor(const std::string& editionId);

// The ownership notice written as the log's second header line.
std::string EditionNoticeLine();
