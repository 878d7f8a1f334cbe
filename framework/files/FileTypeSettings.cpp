#include "files/FileTypeSettings.h"

#include <strings.h>

#include "core/Config.h"
#include "files/FileTypes.h"

namespace kovfiles {

namespace {

std::vector<TFileTypeProperty> BuildTable() {
    std::vector<TFileTypeProperty> rows;
    for (const TFileType& t : FileTypes())
        for (const TFileSettingDef& d : t.settings)
            rows.push_back({t.index, d.key, d.caption, d.description, d.kind, d.defaultValue, d.choices});
    return rows;
}

std::string Clip(const std::string& text) { return text.substr(0, MaxSettingText); }

}  // namespace

std::vector<TFileTypeProperty>& FileTypeProperties() {
    static std::vector<TFileTypeProperty> table = BuildTable();
    return table;
}

void ResetFileTypeProperties() { FileTypeProperties() = BuildTable(); }

void LoadFileTypeSettings(TKOVConfig& config) {
    for (TFileTypeProperty& row : FileTypeProperties()) {
        std::string format = FileTypeName(row.format);
        std::string stored = config.GetString("FileType", format, row.key);
        if (stored.empty())
            config.SetString("FileType", format, row.key, row.value);
        else
            row.value = Clip(stored);
    }
}

void SaveFileTypeSettings(TKOVConfig& config) {
    for (const TFileTypeProperty& row : FileTypeProperties())
        config.SetString("FileType", FileTypeName(row.format), row.key, row.value);
}

std::vector<std::size_t> PropertiesOfFormat(int format) {
    std::vector<std::size_t> result;
    const auto& rows = FileTypeProperties();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].format == format) result.push_back(i);
    return result;
}

std::string FileTypeSettingDefault(const std::string& formatName, const std::string& key) {
    const TFileType* t = FileTypeByIndex(FindFileType(formatName));
    if (!t) return {};
    for (const TFileSettingDef& d : t->settings)
        if (strcasecmp(d.key, key.c_str()) == 0) return d.defaultValue;
    return {};
}

}  // namespace kovfiles
