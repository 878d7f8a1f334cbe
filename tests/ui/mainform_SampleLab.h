#pragma once
// The sample plug-ins of the staged tree copied into a test's installation, and a session that
// starts kov on the simulated USB programmer with a remembered device, so that the first showing
// asks nothing.
#include <QApplication>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "FormsFixture.h"
#include "progscanform_ModalScript.h"
#include "ui/Forms.h"
#include "ui/MainForm.h"
#include "ui/SplitsForm.h"

// A checksum as the main window's fields show it.
inline std::string Hex8(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

class SampleLabTest : public FormsFixture {
protected:
    bool AutoStart() const override { return false; }
    void SetUp() override {
        FormsFixture::SetUp();
        if (!PlaceSamplePlugins({"prog/kov22.so", "devs/flash.so", "devs/eprom16.so"})) {
            GTEST_SKIP() << "the sample plug-ins are not built";
        }
        sessionLines = {"Simulator.StateFolder=" + (temp / "state").string(), "Simulator.TimeScale=0",
                        "LastProgrammer.DLLName=" + (temp / "prog" / "kov22.so").string(),
                        "LastProgrammer.Interface=USB", "Log.Level=7"};
    }
    // The device to select at start: library file, maker, part, package, pins, width.
    void Remember(const std::string& library, const std::string& maker, const std::string& part,
                  const std::string& package, int pins, int width) {
        sessionLines.push_back("Device.AutoSelect=" + AutoSelectValue(library, maker, part, package, pins, width));
    }
    // The "Device" / "AutoSelect" value naming that device.
    static std::string AutoSelectValue(const std::string& library, const std::string& maker, const std::string& part,
                                       const std::string& package, int pins, int width) {
        return "\"" + library + "\",\"" + maker + "\",\"" + part + "\",\"" + package + "\",\"" +
               std::to_string(pins) + "\",\"" + std::to_string(width) + "\"";
    }
    // Starts kov as the program does: globals, windows, the first showing.
    void Start() {
        StartForms();
        MainForm->StartLibrariesOnShow = true;
        MainForm->show();
    }
    // A button click through the toolkit, as the user makes it.
    static void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }
    std::vector<std::string> BoxTexts() const { return dialogs.Texts(); }
    // The splits dialog from its button, given these counts and current devices, then OK or Cancel.
    void RunSplitsDialog(int splits, int sets, int splitDevice, int setDevice, bool ok = true) {
        script.steps.push_back([=](QWidget* dialog) {
            auto* form = static_cast<TSplitsForm*>(dialog);
            form->SplitsBox->setValue(splits);
            form->SetsBox->setValue(sets);
            form->SplitDevBox->setValue(splitDevice);
            form->SetDevBox->setValue(setDevice);
            Click(ok ? static_cast<QWidget*>(form->BitBtn1) : static_cast<QWidget*>(form->CancelButton));
        });
        Click(MainForm->SplitsButton);
    }

    // Steps for the modal dialogs a test expects; any other dialog fails the test instead of
    // waiting for a person.
    ModalScript script;
};
