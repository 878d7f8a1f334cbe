#pragma once
// The sample plug-ins of the staged tree copied into a test's installation, and a session that
// starts kov on the simulated USB programmer with a remembered device, so that the first showing
// asks nothing.
#include <QApplication>
#include <QTest>
#include <filesystem>
#include <string>
#include <vector>

#include "FormsFixture.h"
#include "progscanform_ModalScript.h"
#include "ui/Forms.h"
#include "ui/MainForm.h"

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

    // Steps for the modal dialogs a test expects; any other dialog fails the test instead of
    // waiting for a person.
    ModalScript script;
};
