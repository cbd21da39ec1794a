#pragma once
// File > Map from Tile Server...: the source, zoom, corners and attribution of a map fetched
// from a tile server, what the area takes, and Show and Fetch. Mirrors the window model's
// TileServerMap and hands it what the person types; no rule lives here.

#include <QDialog>

#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace kartivo {
class TileServerMap;
}

namespace kartivo::qt {

class TileServerDialog : public QDialog {
    Q_OBJECT

public:
    TileServerDialog(TileServerMap& map, QWidget* parent);
    // Texts, list and buttons from the model; what the person is typing stays as it is.
    void Follow();

private:
    TileServerMap& map_;
    QComboBox* source_;
    QSpinBox* zoom_;
    std::array<QLineEdit*, 4> corners_{};
    QLineEdit* attribution_ = nullptr;
    QLabel* summary_ = nullptr;
    QPushButton* show_ = nullptr;
    QPushButton* fetch_ = nullptr;
};

}  // namespace kartivo::qt
