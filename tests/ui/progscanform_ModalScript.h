#pragma once
#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// Answers the modal dialogs a test opens (the search dialog, the device selection dialog): each
// time a modal dialog is running, the next step is run on it, from inside the dialog's own event
// loop, as a user would act on it. A dialog that is still up when no step is left is cancelled and
// the test fails, so a test never hangs.
class ModalScript : public QObject {
public:
    using Step = std::function<void(QWidget* dialog)>;

    ModalScript() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
        timer_.start();
    }
    ~ModalScript() override {
        EXPECT_TRUE(steps.empty()) << steps.size() << " dialog step(s) never ran";
    }

    std::deque<Step> steps;
    // The object names of the dialogs the steps ran on, in order.
    std::vector<std::string> seen;

private:
    void Tick() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            current_ = nullptr;
            return;
        }
        if (modal == current_) return;
        current_ = modal;
        seen.push_back(modal->objectName().toStdString());
        if (steps.empty()) {
            ADD_FAILURE() << "unexpected dialog " << seen.back();
            modal->close();
            return;
        }
        Step step = std::move(steps.front());
        steps.pop_front();
        QPointer<QWidget> dialog = modal;
        step(modal);
        // The same dialog may be shown again at once (the search repeats).
        if (!dialog || !dialog->isVisible()) current_ = nullptr;
    }

    QTimer timer_;
    QPointer<QWidget> current_;
};
