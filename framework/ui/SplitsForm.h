#pragma once
#include <QDialog>
#include <QWidget>

#include "buffer/Splits.h"

class QLabel;
class QPushButton;
class QSpinBox;
class TSplitsForm;

// The picture of the layout: the data path on top, one row of devices per set, the selected
// device filled. A click on a device selects it.
class TSplitsDiagramView : public QWidget {
    Q_OBJECT
public:
    TSplitsDiagramView(TSplitsForm* form, QWidget* parent);
    QSize sizeHint() const override;
    TSplitsDiagram Layout() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    TSplitsForm* form_;
};

// The splits and sets dialog. It edits the model it is given (the main window's), which keeps the
// values whether the dialog closes with OK or Cancel; OK also stores the counts in the session.
class TSplitsForm : public QDialog {
    Q_OBJECT
public:
    explicit TSplitsForm(TSplitsModel& model, QWidget* parent = nullptr);

    // The fields, the diagram and the description from the model.
    void ShowValues();

    void SplitsBoxChange();
    void SetsBoxChange();
    void SplitDevBoxChange();
    void SetDevBoxChange();
    void Image1Click(int x, int y);
    void BitBtn1Click();

    // "16-Bit Data path, split across two 8-Bit devices, ..." for the selected device's width.
    QString DescriptionText() const;

    TSplitsModel& Model;

    QSpinBox* SplitsBox = nullptr;
    QSpinBox* SplitDevBox = nullptr;
    QSpinBox* SetsBox = nullptr;
    QSpinBox* SetDevBox = nullptr;
    TSplitsDiagramView* Image1 = nullptr;
    QLabel* Description = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Typed(QSpinBox* box, int (TSplitsModel::*rule)(const std::string&));
    bool showing_ = false;
};
