// File > Map from Tile Server... against tiles the test makes in a folder: the dialog's line
// follows what is typed and names why a request is refused, Show opens the source in the picture
// window under the typed box, where a drag sets the corners, and Fetch writes the area pixel for
// pixel as the tiles hold it and loads it; declined or cancelled, it leaves nothing.

#include "ViewFixture.h"

#include "app/qt/PictureWindow.h"
#include "app/qt/QtUserInterface.h"
#include "bitmap/FileNameConvention.h"
#include "bitmap/TileRequest.h"
#include "geo/CoordinateText.h"

#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace kartivo::test {
namespace {

class TileServerWindow : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        if (!Form1::ImportAvailable()) GTEST_SKIP() << "built without the import";
        // Every tile of zoom 3, as PNG files in {z}/{x}/{y}.png: without GDAL, which a window
        // loads only for the import.
        for (std::int64_t x = 0; x < 8; ++x) {
            std::filesystem::create_directories(tiles_.Path() / "3" / std::to_string(x));
            for (std::int64_t y = 0; y < 8; ++y) {
                QImage tile(256, 256, QImage::Format_RGB32);
                for (int i = 0; i < 256 * 256; ++i) {
                    const auto band = [&](int b) { return TileValue({3, x, y}, b, i % 256, i / 256); };
                    tile.setPixel(i % 256, i / 256, qRgb(band(0), band(1), band(2)));
                }
                const std::string name = "3/" + std::to_string(x) + "/" + std::to_string(y) + ".png";
                ASSERT_TRUE(tile.save(QString::fromStdString(tiles_.File(name))));
            }
        }
    }
    template <typename T>
    T* In(const char* name) { return dialog_->findChild<T*>(name); }
    // A click in the box and its text typed anew, key by key.
    void TypeInto(const char* name, const QString& text) {
        QWidget* box = In<QWidget>(name);
        const QPoint centre = box->mapTo(dialog_, box->rect().center());
        QTest::mouseClick(dialog_->windowHandle(), Qt::LeftButton, Qt::NoModifier, centre);
        Type(text, dialog_->windowHandle());
    }
    QString Line() { return In<QLabel>("tileSummary")->text(); }

    TempFolder tiles_, out_;
    QDialog* dialog_ = nullptr;
};

TEST_F(TileServerWindow, TheLineFollowsTypingShowSetsTheBoxByADragAndFetchLoadsTheMap) {
    const QString source = QString::fromStdString("file://" + tiles_.File("{z}/{x}/{y}.png"));
    const std::string elsewhere = "file:///elsewhere/{z}/{x}/{y}.png";
    ui_.kept["tileSources"] = {elsewhere, source.toStdString()};
    window_->MenuAction("mnuFileTileServer")->trigger();
    dialog_ = window_->findChild<QDialog*>("tileServerDialog");
    ASSERT_TRUE(dialog_ != nullptr && QTest::qWaitForWindowActive(dialog_));
    EXPECT_TRUE(dialog_->screen()->availableGeometry().contains(dialog_->frameGeometry()))
        << dialog_->frameGeometry().width() << " x " << dialog_->frameGeometry().height();
    EXPECT_EQ(In<QComboBox>("tileSource")->currentText().toStdString(), elsewhere) << "the source used last";
    TypeInto("tileSource", source);
    TypeInto("tileZoom", "3");
    TypeInto("tileAttribution", "Tiles of the test");
    // Without a temporary folder, no look; without a box, a look at the whole world.
    const std::string temporary = std::filesystem::temp_directory_path().string();
    setenv("TMPDIR", out_.File("gone").c_str(), 1);
    In<QPushButton>("tileShow")->click();
    setenv("TMPDIR", temporary.c_str(), 1);
    EXPECT_EQ(ui_.MessageTexts().at(0).find("Cannot make a temporary folder for the look at file://"), 0U);
    ui_.cancelAtFirstStep = true;
    In<QPushButton>("tileShow")->click();
    EXPECT_TRUE(ui_.MessageTexts().size() == 1 && window_->Picture() == nullptr) << "cancelled, nothing shown nor said";
    ui_.cancelAtFirstStep = false;
    In<QPushButton>("tileShow")->click();
    EXPECT_EQ(ReadFileNameConvention(workspace_.picture.ShownPath()).name, "Tiles_z1");
    EXPECT_EQ(ui_.busyChanges, (std::vector<bool>{true, false, true, false}));
    const std::filesystem::path worldLook = std::filesystem::path(workspace_.picture.ShownPath()).parent_path();
    EXPECT_EQ(worldLook.parent_path(), std::filesystem::temp_directory_path());
    const std::vector<std::pair<const char*, QString>> box{{"tileBottom", "10"}, {"tileLeft", "0"}, {"tileTop", "40"},
                                                           {"tileRight", "50"}};
    for (const auto& [name, text] : box) TypeInto(name, text);
    const TileArea area = CutTileArea(3, {10, 0, 40, 50}).parts.at(0);
    EXPECT_EQ(Line().toStdString(), "2 tiles: 285 x " + std::to_string(area.height) + " pixels, " +
                                        std::to_string(54 + 856 * area.height) + " bytes.");
    // Each refused in the words of info --tiles, Fetch disabled, and mended again.
    const struct {
        const char* box;
        QString text, mended;
        std::string reason;
    } refused[] = {
        {"tileSource", source.chopped(8) + ".png", source, "A URL template names each tile by {x} and {y}"},
        {"tileTop", "-10", "40", "Top must lie above Bottom, and Right differ from Left"},
        {"tileRight", "181", "50", "Right: \"181\" is not a longitude from -180 to 180 degrees."},
        {"tileZoom", "9", "3", "3528 of them not yet cached, more than the 2500 one fetch may take."},
        {"tileZoom", "12", "3", "Beyond the 2147483647 bytes a bitmap file can hold."},
    };
    for (const auto& c : refused) {
        TypeInto(c.box, c.text);
        EXPECT_TRUE(Line().contains(QString::fromStdString(c.reason))) << Line().toStdString();
        EXPECT_FALSE(In<QPushButton>("tileFetch")->isEnabled()) << c.reason;
        TypeInto(c.box, c.mended);
    }
    ASSERT_TRUE(In<QPushButton>("tileFetch")->isEnabled()) << Line().toStdString();

    // Show: the box in red over the source, where the tile folder's look lies by its own name.
    In<QPushButton>("tileShow")->click();
    qt::PictureWindow* pictures = window_->Picture();
    ASSERT_TRUE(pictures != nullptr && QTest::qWaitForWindowExposed(pictures));
    QApplication::processEvents();
    const FileNameCorners look = ReadFileNameConvention(workspace_.picture.ShownPath());
    ASSERT_TRUE(look.corners && look.name == "Tiles_z3") << workspace_.picture.ShownPath();
    EXPECT_FALSE(std::filesystem::exists(worldLook)) << "the look before goes";
    // The box with half its size again around it, to the look's pixel centres.
    EXPECT_TRUE(std::fabs(look.corners->bottom + 5) < 0.2 && std::fabs(look.corners->top - 55) < 0.2 &&
                std::fabs(look.corners->left + 25) < 0.2 && std::fabs(look.corners->right - 75) < 0.2);
    const PictureView& view = workspace_.picture;
    QWidget* canvas = pictures->Canvas()->viewport();
    const double ratio = pictures->devicePixelRatioF();
    const auto onCanvas = [&](double latitude, double longitude) {
        const double x = PixelXAtLongitude(3, longitude) - PixelXAtLongitude(3, look.corners->left) + 0.5;
        const double y = PixelYAtLatitude(3, latitude) - PixelYAtLatitude(3, look.corners->top) + 0.5;
        return QPointF((x - view.Left()) * view.Scale() / ratio, (y - view.Top()) * view.Scale() / ratio);
    };
    const auto red = [&](QPointF at) {  // the line, or a device pixel beside it
        QApplication::processEvents();
        const QImage shown = canvas->grab().toImage();
        const QPoint pixel = (at * ratio).toPoint();
        const auto redAt = [&](int dx) { return shown.pixel(pixel + QPoint(dx, 0)) == qRgb(230, 30, 0); };
        return redAt(-1) || redAt(0) || redAt(1);
    };
    EXPECT_TRUE(red(onCanvas(20, 0))) << "the box's left edge";
    TypeInto("tileLeft", "10");
    EXPECT_FALSE(red(onCanvas(20, 0)));
    EXPECT_TRUE(red(onCanvas(20, 10))) << "typed, the rectangle moves";

    // A drag over the source sets the four corners, to within a pixel of the source shown.
    const QPointF from = onCanvas(30, 5), to = onCanvas(10, 30);
    QWindow* picturesWindow = pictures->windowHandle();
    QTest::mousePress(picturesWindow, Qt::LeftButton, Qt::NoModifier, canvas->mapTo(pictures, from.toPoint()));
    QTest::mouseMove(picturesWindow, canvas->mapTo(pictures, ((from + to) / 2).toPoint()));
    const QString pointer = pictures->findChild<QLabel*>("pointerText")->text();  // where the pointer is, on the way
    EXPECT_NEAR(pointer.section(' ', 0, 0).toDouble(), 20, 0.5) << pointer.toStdString();
    EXPECT_NEAR(pointer.section(' ', 1, 1).toDouble(), 17.5, 0.3) << pointer.toStdString();
    QTest::mouseMove(picturesWindow, canvas->mapTo(pictures, onCanvas(20, -30).toPoint()));
    EXPECT_EQ(pictures->findChild<QLabel*>("pointerText")->text(), TileBoxHint) << "beside the look";
    QTest::mouseMove(picturesWindow, canvas->mapTo(pictures, ((from + to) / 2).toPoint()));
    QTest::mouseRelease(picturesWindow, Qt::LeftButton, Qt::NoModifier, canvas->mapTo(pictures, to.toPoint()));
    std::array<double, 4> typed{};
    for (std::size_t i = 0; i < box.size(); ++i) typed[i] = In<QLineEdit>(box[i].first)->text().toDouble();
    const double near = view.Scale() / ratio + 1;
    EXPECT_LT(QLineF(onCanvas(typed[2], typed[1]), from).length(), near);
    EXPECT_LT(QLineF(onCanvas(typed[0], typed[3]), to).length(), near);

    // Declined in the save dialog or cancelled, nothing; then the map as the tiles hold it, loaded.
    ui_.dialogAnswers = {""};
    In<QPushButton>("tileFetch")->click();
    ASSERT_EQ(ui_.saveRequests.size(), 1U);
    const std::string path = out_.File(std::filesystem::path(ui_.saveRequests[0].initialFileName).filename().string());
    ui_.dialogAnswers = {path, path};
    ui_.cancelAtFirstStep = true;
    In<QPushButton>("tileFetch")->click();
    EXPECT_TRUE(FolderEntries(out_.Path()).empty());
    EXPECT_TRUE(dialog_->isVisible()) << "open until a map is fetched";
    ui_.cancelAtFirstStep = false;
    In<QPushButton>("tileFetch")->click();
    const TileArea fetched = CutTileArea(3, {typed[0], typed[1], typed[2], typed[3]}).parts.at(0);
    const Bytes bitmap = ReadAll(path);
    const std::size_t rowSize = (std::size_t(fetched.width) * 3 + 3) / 4 * 4;
    ASSERT_EQ(bitmap.size(), 54 + rowSize * std::size_t(fetched.height));
    int wrong = 0;
    for (std::int64_t row = 0; row < fetched.height; ++row) {
        for (std::int64_t column = 0; column < fetched.width; ++column) {
            const std::int64_t x = fetched.left + column, y = fetched.top + row;
            const std::size_t at = 54 + std::size_t(fetched.height - 1 - row) * rowSize + std::size_t(column) * 3;
            for (int band = 0; band < 3; ++band) {
                const std::uint8_t expected = TileValue({3, x / 256, y / 256}, band, int(x % 256), int(y % 256));
                wrong += bitmap[at + 2 - std::size_t(band)] != expected;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(form_.txtInFilePathData.Text(), path);
    EXPECT_EQ(ui_.progressTexts.back(), "Fetching 1 tile from " + source.toStdString());
    EXPECT_EQ(canvas->cursor().shape(), Qt::OpenHandCursor) << "over the map fetched, a drag pans again";
    EXPECT_EQ(Get<QLineEdit>("txtInRightLongitudeDegree")->text().toStdString(), DegreeText(fetched.corners.right));
    const Bytes note = ReadAll(TileNotePath(path));
    EXPECT_NE(std::string(note.begin(), note.end()).find("\nAttribution: Tiles of the test\n"), std::string::npos);
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(ui_.kept["tileSources"], (std::vector<std::string>{source.toStdString(), elsewhere}));

    // Fetched again from the menu, a tile gone from the folder is named, the map still written.
    std::filesystem::remove(tiles_.File("3/4/3.png"));
    ui_.dialogAnswers = {path};
    window_->MenuAction("mnuFileTileServer")->trigger();
    In<QPushButton>("tileFetch")->click();
    EXPECT_EQ(ui_.MessageTexts().back(),
              path + ": 1 tile is missing at the source (HTTP 404 or 204) and left white: 3/4/3.");
}

// Kept in the program's settings (here a folder of the test's own), a list outlives the
// interface that kept it, as it does between runs.
TEST(ProgramSettings, KeepTextsBetweenRuns) {
    TempFolder folder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(folder.Path().string()));
    qt::QtUserInterface().Keep("tileSources", {"b", "a"});
    EXPECT_EQ(qt::QtUserInterface().ReadKept("tileSources"), (std::vector<std::string>{"b", "a"}));
    EXPECT_FALSE(FolderEntries(folder.Path()).empty());
}

}  // namespace
}  // namespace kartivo::test
