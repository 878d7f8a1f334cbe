#include "ui/SplitsForm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "core/Globals.h"
#include "plugins/DevDLL.h"
#include "plugins/DevGeometry.h"
#include "ui/QtText.h"

namespace {

constexpr int DiagramWidth = 120;
// The boxes accept what a person may type; the model then keeps the value in range.
constexpr int TypingLimit = 99;

QSpinBox* MakeBox(const char* name, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(0, TypingLimit);
    box->setValue(1);
    return box;
}

QRect ToRect(const TDiagramBox& box) {
    return {box.left, box.top, box.width, box.height};
}

}  // namespace

TSplitsDiagramView::TSplitsDiagramView(TSplitsForm* form, QWidget* parent) : QWidget(parent), form_(form) {
    setObjectName(QStringLiteral("Image1"));
}

TSplitsDiagram TSplitsDiagramView::Layout() const {
    const TSplitsSets& v = form_->Model.Values();
    return LayoutSplitsDiagram(width(), v.Splits, v.Sets);
}

QSize TSplitsDiagramView::sizeHint() const {
    return {DiagramWidth, LayoutSplitsDiagram(DiagramWidth, MaxSplitsSets, MaxSplitsSets).height};
}

void TSplitsDiagramView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const TSplitsDiagram diagram = Layout();
    const TSplitsSets& v = form_->Model.Values();
    const QColor green(0, 160, 0), red(200, 0, 0), orange(255, 150, 0);

    painter.setPen(palette().windowText().color());
    painter.drawRect(ToRect(diagram.dataPath).adjusted(0, 0, -1, -1));
    for (const TDiagramBox& box : diagram.devices) {
        const QRect r = ToRect(box).adjusted(0, 0, -1, -1);
        if (box.column == v.SplitDevice && box.row == v.SetDevice) {
            painter.fillRect(ToRect(box), green);
        } else {
            painter.setPen(red);
            painter.drawRect(r);
            painter.setPen(orange);
            painter.drawRect(r.adjusted(1, 1, -1, -1));
        }
        if (box.row == 1 && box.column == v.SplitDevice) {
            painter.setPen(QPen(green, 1));
            const QRect path = ToRect(diagram.dataPath);
            painter.drawLine(path.center().x(), path.bottom(), r.center().x(), r.top());
        }
    }
}

void TSplitsDiagramView::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    form_->Image1Click(at.x(), at.y());
}

TSplitsForm::TSplitsForm(TSplitsModel& model, QWidget* parent) : QDialog(parent), Model(model) {
    setObjectName(QStringLiteral("SplitsForm"));
    setWindowTitle(QStringLiteral("Splits and Sets"));

    SplitsBox = MakeBox("SplitsBox", this);
    SplitDevBox = MakeBox("SplitDevBox", this);
    SetsBox = MakeBox("SetsBox", this);
    SetDevBox = MakeBox("SetDevBox", this);
    Image1 = new TSplitsDiagramView(this, this);
    Image1->setFixedSize(Image1->sizeHint());
    Description = new QLabel(this);
    Description->setObjectName(QStringLiteral("Description"));
    Description->setWordWrap(true);
    Description->setMinimumWidth(260);
    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("Splits"), this), 0, 0);
    fields->addWidget(SplitsBox, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("Current"), this), 0, 2);
    fields->addWidget(SplitDevBox, 0, 3);
    fields->addWidget(new QLabel(QStringLiteral("Sets"), this), 1, 0);
    fields->addWidget(SetsBox, 1, 1);
    fields->addWidget(new QLabel(QStringLiteral("Current"), this), 1, 2);
    fields->addWidget(SetDevBox, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(Image1, 0, Qt::AlignHCenter);
    layout->addWidget(Description);
    layout->addLayout(buttons);

    connect(SplitsBox, &QSpinBox::textChanged, this, [this] { SplitsBoxChange(); });
    connect(SetsBox, &QSpinBox::textChanged, this, [this] { SetsBoxChange(); });
    connect(SplitDevBox, &QSpinBox::textChanged, this, [this] { SplitDevBoxChange(); });
    connect(SetDevBox, &QSpinBox::textChanged, this, [this] { SetDevBoxChange(); });
    for (QSpinBox* box : {SplitsBox, SplitDevBox, SetsBox, SetDevBox})
        connect(box, &QSpinBox::editingFinished, this, [this] { ShowValues(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    ShowValues();
}

void TSplitsForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ShowValues();
}

QString TSplitsForm::DescriptionText() const {
    const TDevGeometry* geometry = GlobalDevDLL ? GlobalDevDLL->Geometry() : nullptr;
    return ToQString(Model.Description(geometry ? geometry->WordWidth() : 8));
}

void TSplitsForm::ShowValues() {
    if (showing_) return;
    showing_ = true;
    const TSplitsSets& v = Model.Values();
    const std::pair<QSpinBox*, int> fields[] = {
        {SplitsBox, v.Splits}, {SplitDevBox, v.SplitDevice}, {SetsBox, v.Sets}, {SetDevBox, v.SetDevice}};
    for (const auto& [box, value] : fields) {
        if (box->value() != value) box->setValue(value);
    }
    Image1->update();
    Description->setText(DescriptionText());
    showing_ = false;
}

void TSplitsForm::Typed(QSpinBox* box, int (TSplitsModel::*rule)(const std::string&)) {
    // An emptied field waits for the next digit; leaving it empty gives the value back.
    if (showing_ || box->cleanText().isEmpty()) return;
    (Model.*rule)(FromQString(box->cleanText()));
    ShowValues();
}

void TSplitsForm::SplitsBoxChange() {
    Typed(SplitsBox, &TSplitsModel::SplitsTyped);
}

void TSplitsForm::SetsBoxChange() {
    Typed(SetsBox, &TSplitsModel::SetsTyped);
}

void TSplitsForm::SplitDevBoxChange() {
    Typed(SplitDevBox, &TSplitsModel::SplitDeviceTyped);
}

void TSplitsForm::SetDevBoxChange() {
    Typed(SetDevBox, &TSplitsModel::SetDeviceTyped);
}

void TSplitsForm::Image1Click(int x, int y) {
    if (const auto box = Image1->Layout().DeviceAt(x, y)) {
        Model.SelectDevice(box->column, box->row);
        ShowValues();
    }
}

void TSplitsForm::BitBtn1Click() {
    StoreSplitsCounts(Model.Values());
    accept();
}
