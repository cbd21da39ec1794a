#include "app/qt/TileServerDialog.h"

#include "app/TileServerMap.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kartivo::qt {

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A program's text goes into a box only where it differs, so the cursor of a person typing stays.
void Mirror(QLineEdit& edit, const std::string& text) {
    const QString shown = FromUtf8(text);
    if (edit.text() == shown) return;
    edit.setText(shown);
    edit.setCursorPosition(0);
}

}  // namespace

TileServerDialog::TileServerDialog(TileServerMap& map, QWidget* parent)
    : QDialog(parent), map_(map), source_(new QComboBox(this)), zoom_(new QSpinBox(this)) {
    setObjectName("tileServerDialog");
    setWindowTitle(QString(TileServerMenuText).remove("..."));
    source_->setObjectName("tileSource");
    source_->setEditable(true);
    source_->setInsertPolicy(QComboBox::NoInsert);
    // Templates are long; the list is as wide as a typical one, and scrolls for longer ones.
    source_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    source_->setMinimumContentsLength(36);
    source_->lineEdit()->setPlaceholderText("http://, https:// or file:// with {z}, {x} and {y}");
    zoom_->setObjectName("tileZoom");
    zoom_->setRange(0, MaxTileZoom);
    summary_ = new QLabel(this);
    summary_->setObjectName("tileSummary");
    summary_->setWordWrap(true);
    // Two lines are kept for it, so the dialog does not jump as the text grows and shrinks.
    summary_->setMinimumHeight(2 * summary_->fontMetrics().lineSpacing());
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* form = new QFormLayout;
    form->addRow("&Source:", source_);
    form->addRow("&Zoom:", zoom_);
    auto* box = new QGridLayout;
    const std::array<const char*, 4> captions{"&Bottom:", "&Left:", "&Top:", "&Right:"};
    const std::array<const char*, 4> names{"tileBottom", "tileLeft", "tileTop", "tileRight"};
    for (std::size_t i = 0; i < corners_.size(); ++i) {
        QLineEdit* edit = corners_[i] = new QLineEdit(this);
        edit->setObjectName(names[i]);
        edit->setToolTip(i % 2 == 0 ? "A latitude, -90 to 90: 35.6 or 35°36' 00.0000''"
                                    : "A longitude, -180 to 180: 139.6 or 139°36' 00.0000''");
        auto* caption = new QLabel(captions[i], this);
        caption->setBuddy(edit);
        // Bottom and left in the first row, top and right in the second, as the main window
        // pairs its corners; Tab takes them in the order a box is written.
        const int row = static_cast<int>(i / 2);
        const int column = static_cast<int>(i % 2) * 2;
        box->addWidget(caption, row, column);
        box->addWidget(edit, row, column + 1);
        connect(edit, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            map_.SetCorner(static_cast<BoxEdge>(i), text.toStdString());
        });
    }
    form->addRow(box);
    attribution_ = new QLineEdit(this);
    attribution_->setObjectName("tileAttribution");
    attribution_->setPlaceholderText("the credit the service's terms ask for, kept beside the map");
    form->addRow("&Attribution:", attribution_);

    auto* buttons = new QDialogButtonBox(this);
    show_ = buttons->addButton("S&how", QDialogButtonBox::ActionRole);
    show_->setObjectName("tileShow");
    show_->setToolTip("Opens the source at a low zoom in the picture window, where a rectangle dragged sets the box");
    fetch_ = buttons->addButton("&Fetch...", QDialogButtonBox::ActionRole);
    fetch_->setObjectName("tileFetch");
    buttons->addButton(QDialogButtonBox::Close);
    // Enter in a box presses nothing: a fetch may take thousands of tiles.
    for (QPushButton* button : {show_, fetch_, buttons->button(QDialogButtonBox::Close)}) button->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(summary_);
    layout->addWidget(buttons);

    connect(source_, &QComboBox::editTextChanged, this,
            [this](const QString& text) { map_.SetSource(text.toStdString()); });
    connect(zoom_, &QSpinBox::valueChanged, this, [this](int zoom) { map_.SetZoom(zoom); });
    connect(attribution_, &QLineEdit::textEdited, this,
            [this](const QString& text) { map_.SetAttribution(text.toStdString()); });
    // The look comes up in front; the dialog whose corners a drag there fills stays in sight.
    connect(show_, &QPushButton::clicked, this, [this] {
        if (!map_.Show()) return;
        raise();
        activateWindow();
    });
    connect(fetch_, &QPushButton::clicked, this, [this] {
        if (map_.Fetch()) close();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    Follow();
}

void TileServerDialog::Follow() {
    const QSignalBlocker blockSource(source_);
    const QSignalBlocker blockZoom(zoom_);
    QStringList recent;
    for (const std::string& source : map_.RecentSources()) recent << FromUtf8(source);
    QStringList listed;
    for (int i = 0; i < source_->count(); ++i) listed << source_->itemText(i);
    const QString source = FromUtf8(map_.Source());
    if (listed != recent) {
        source_->clear();
        source_->addItems(recent);
    }
    if (source_->currentText() != source) source_->setEditText(source);
    zoom_->setValue(map_.Zoom());
    for (std::size_t i = 0; i < corners_.size(); ++i) Mirror(*corners_[i], map_.Corner(static_cast<BoxEdge>(i)));
    Mirror(*attribution_, map_.Attribution());
    summary_->setText(FromUtf8(map_.Summary()));
    show_->setEnabled(map_.CanShow());
    fetch_->setEnabled(map_.CanFetch());
}

}  // namespace kartivo::qt
