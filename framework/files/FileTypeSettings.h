#pragma once
// The file type settings: every format's rows from the registry, as one working table that the
// preferences page edits, loaded from the store at start-up and written back on OK.
#include <string>
#include <vector>

class TKOVConfig;

namespace kovfiles {

constexpr std::size_t MaxSettingText = 63;

struct TFileTypeProperty {
    int format = 0;            // registry index
    std::string key;
    std::string caption;
    std::string description;
    int kind = 0;              // TSettingKind
    std::string value;         // working value; the default until the store supplies another
    std::string choices;
};

// The working table, in registry order and, within a format, in its rows' order.
std::vector<TFileTypeProperty>& FileTypeProperties();
// Restores every working value to its default.
void ResetFileTypeProperties();

// For every row: a missing or empty stored value gets the row's value written to the store;
// otherwise the stored text (at most 63 characters) becomes the row's value.
void LoadFileTypeSettings(TKOVConfig& config);
// Writes every row's value to the store.
void SaveFileTypeSettings(TKOVConfig& config);

// Indexes into FileTypeProperties() of one format's rows.
std::vector<std::size_t> PropertiesOfFormat(int format);

// The built-in default of a setting, or "" when the format has no such row.
std::string FileTypeSettingDefault(const std::string& formatName, const std::string& key);

}  // namespace kovfiles
