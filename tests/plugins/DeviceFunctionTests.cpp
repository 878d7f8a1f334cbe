#include <filesystem>
#include <memory>

#include "PluginTestSupport.h"
#include "core/KovError.h"
#include "plugins/DevDLL.h"
#include "plugins/DeviceFunctions.h"
#include "plugins/LibraryModule.h"

namespace {

class DeviceFunctionTest : public HostTest {
protected:
    std::string Error(const KovMiscFunctRecord& record, const TLibraryModule& module) {
        try {
            TDeviceFunction function(&record, module);
        } catch (const KovError& e) {
            return e.what();
        }
        return {};
    }
    static KovMiscFunctRecord Record(int type, const char* name, int id) {
        KovMiscFunctRecord r{};
        r.RecordType = type;
        std::strcpy(r.Name, name);
        r.Identifier = id;
        return r;
    }
};

TEST_F(DeviceFunctionTest, CorruptRecordsAreLeftOutOfTheList) {
    KtDevice lib("kt_dev_bad_misc");
    lib.control->wordSize = 8;
    TDevDLL host(lib.path, nullptr);
    ASSERT_TRUE(host.SelectDevice("KT27C256", "KtSemi", "DIP", 28, 8));
    std::vector<std::string> names;
    for (int i = 0; i < host.MiscFunctionCount(); ++i) names.push_back(host.MiscFunction(i)->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"Lock", "Unlock", "Glyph without count"}));

    const TDeviceFunction* lock = host.MiscFunction(0);
    EXPECT_EQ(lock->Identifier(), 1);
    EXPECT_EQ(lock->Tooltip(), "");
    EXPECT_EQ(lock->Glyph(), nullptr);
    EXPECT_EQ(lock->GlyphCount(), 0);

    const TDeviceFunction* unlock = host.MiscFunction(1);
    EXPECT_EQ(unlock->Identifier(), 2);
    EXPECT_EQ(unlock->Tooltip(), "Remove the lock");
    EXPECT_EQ(unlock->GlyphName(), "KTGLYPH");
    EXPECT_EQ(unlock->GlyphCount(), 2);
    ASSERT_NE(unlock->Glyph(), nullptr);
    ASSERT_EQ(unlock->Glyph()->bytes.size(), 71u);
    EXPECT_EQ(std::string(unlock->Glyph()->bytes.begin() + 1, unlock->Glyph()->bytes.begin() + 4), "PNG");

    const TDeviceFunction* noCount = host.MiscFunction(2);
    EXPECT_EQ(noCount->GlyphCount(), 0);
    EXPECT_EQ(noCount->Glyph(), nullptr);
}

TEST_F(DeviceFunctionTest, CorruptRecordsNameTheLibraryModule) {
    KtDevice lib("kt_dev_bad_misc");
    TLibraryModule module;
    ASSERT_TRUE(module.Open(lib.path));
    const std::string path = module.ModuleFileName();
    EXPECT_EQ(path, lib.path);

    KovMiscFunctRecord longName = Record(1, "", 3);
    std::memset(longName.Name, 'n', sizeof longName.Name);
    EXPECT_EQ(Error(longName, module), "Corrupt Name string in Misc. function data.(" + path + ")");

    KovMiscFunctRecord longGlyph = Record(1, "Erase", 4);
    std::memset(longGlyph.GlyphName, 'g', sizeof longGlyph.GlyphName);
    EXPECT_EQ(Error(longGlyph, module), "Corrupt Glyph name string in Misc. function data.(" + path + ",Erase)");

    KovMiscFunctRecord longTip = Record(2, "Erase", 5);
    std::memset(longTip.Tooltip, 't', sizeof longTip.Tooltip);
    EXPECT_EQ(Error(longTip, module), "Corrupt Tooltip string in Misc. function data.(" + path + ")");

    // When several checks fail, the last one speaks.
    longTip.Name[0] = 0;
    std::memset(longTip.Name, 'n', sizeof longTip.Name);
    EXPECT_EQ(Error(longTip, module), "Corrupt Tooltip string in Misc. function data.(" + path + ")");

    for (int id : {0, 255, -1}) {
        EXPECT_EQ(Error(Record(1, "Erase", id), module),
                  "Identifier " + std::to_string(id) + " out of range in Misc. function data.(" + path + ")");
    }
    EXPECT_EQ(Error(Record(3, "Erase", 1), module), "Unknown record type 3 in Misc. function data.(" + path + ")");

    KovMiscFunctRecord missing = Record(1, "Erase", 6);
    std::strcpy(missing.GlyphName, "NOSUCH");
    missing.GlyphCount = 1;
    EXPECT_EQ(Error(missing, module), "Unable to load glyph NOSUCH in Misc. function data.(" + path + ",Erase)");
    std::strcpy(missing.GlyphName, "KTNOTPIC");
    EXPECT_NE(Error(missing, module), "");

    EXPECT_EQ(Error(Record(1, "Erase", 254), module), "");
}

TEST_F(DeviceFunctionTest, TypeOneRecordsEndBeforeTheTooltip) {
    KtDevice lib("kt_dev_bad_misc");
    TLibraryModule module;
    ASSERT_TRUE(module.Open(lib.path));
    GuardedRecord guarded;
    const KovMiscFunctRecord* record = guarded.At(Record(1, "Short", 7), KOV_MISC_RECORD_TYPE1_SIZE);
    TDeviceFunction function(record, module);
    EXPECT_EQ(function.Name(), "Short");
    EXPECT_EQ(function.Tooltip(), "");
    EXPECT_THROW(TDeviceFunction(nullptr, module), KovError);
}

TEST_F(DeviceFunctionTest, ModulePathInMessagesIsCutTo98Characters) {
    KtDevice original("kt_dev_bad_misc");
    std::filesystem::path folder = temp.path() / std::string(100, 'f');
    std::filesystem::create_directories(folder);
    const std::filesystem::path copy = folder / "kt_copy.so";
    std::filesystem::copy_file(original.path, copy);
    TLibraryModule module;
    ASSERT_TRUE(module.Open(copy.string()));
    const std::string cut = copy.string().substr(0, 98);
    EXPECT_EQ(Error(Record(1, "Erase", 0), module), "Identifier 0 out of range in Misc. function data.(" + cut + ")");
}

}  // namespace
