#pragma once
// The humble view: builds the widgets from the layout table, mirrors the model into them,
// and turns what the person does into the model's events. No rule of the program lives here.

#include <QMainWindow>

#include <functional>
#include <memory>
#include <map>
#include <string>
#include <string_view>

class QMenu;

namespace kartivo {
class Control;
class Form1;
class Workspace;
}

namespace kartivo::qt {

class PictureWindow;
class TileServerDialog;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(Workspace& workspace, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The widget built for a name of the layout table or the menu, or nullptr.
    QWidget* Widget(std::string_view name) const;
    QAction* MenuAction(std::string_view name) const;
    // The picture window, once "Show Picture" has opened it.
    PictureWindow* Picture() const { return pictureWindow_; }
    // Told once the picture window is made.
    std::function<void(QWidget*)> onPictureWindow;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildFrames();
    void FitCornerBoxes();
    void FitSizeLabels();
    void BuildMenu();
    void SetTabOrder();
    void BindModel();
    void ConnectEvents();
    void OpenPictureWindow();
    void OpenTileDialog();
    void Mirror(const Control& control);
    void ConnectUserEdits(Control& control, QWidget* widget);

    Workspace& workspace_;
    Form1& form_;
    QWidget* client_ = nullptr;
    std::map<std::string, QWidget*, std::less<>> widgets_;
    std::map<std::string, QAction*, std::less<>> actions_;
    std::map<std::string, std::function<void()>, std::less<>> doubleClicks_;
    PictureWindow* pictureWindow_ = nullptr;
    TileServerDialog* tileDialog_ = nullptr;
};

}  // namespace kartivo::qt
