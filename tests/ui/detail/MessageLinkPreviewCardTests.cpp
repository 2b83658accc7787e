#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include "ui/UiTest.h"
#include "ui/detail/MessageLinkPreviewCard.h"
#include "ui/detail/PreviewImage.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/WrapLabel.h"

namespace nudgerly::test {
namespace {

std::string writePng(const QTemporaryDir& dir, const QString& name, QSize size, QColor colour = Qt::darkCyan) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = dir.filePath(name);
    if (!image.save(path, "PNG")) {
        qFatal("Couldn't write the test image.");
    }
    return path.toStdString();
}

std::string writeText(const QTemporaryDir& dir, const QString& name, const std::string& contents) {
    const std::string path = dir.filePath(name).toStdString();
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

MessageLinkPreview preview(std::optional<std::string> title, std::optional<std::string> imagePath = std::nullopt) {
    return {.title = std::move(title),
            .domain = "example.com",
            .url = "https://example.com/a",
            .imagePath = std::move(imagePath)};
}

}  // namespace

class MessageLinkPreviewCardTests : public QObject {
    Q_OBJECT

private slots:
    void theTitleIsShownWhenPresentAndNamesTheCard() {
        MessageLinkPreviewCard card;
        card.setPreview(preview("Spring schedule"));
        auto* title = card.findChild<ElidedLabel*>("linkTitle");
        QCOMPARE(title->text(), "Spring schedule");
        QVERIFY(!title->isHidden());
        QCOMPARE(title->maxLines(), 3);
        QCOMPARE(card.findChild<WrapLabel*>("linkDomain")->text(), "example.com");
        QCOMPARE(card.accessibleName(), "Link preview: Spring schedule");
        QVERIFY(card.findChild<QWidget*>("previewImage")->isHidden());

        card.setPreview(preview(std::nullopt));
        QVERIFY(title->isHidden());
        QCOMPARE(card.accessibleName(), "Link preview: example.com");
    }

    void onlyARegularFileThatReadsAsAnImageGivesAPicture() {
        QTemporaryDir dir;
        const std::string png = writePng(dir, "picture", QSize(200, 100));  // no extension, as in Messages
        QCOMPARE(loadPreviewImage(png).size(), QSize(200, 100));

        QVERIFY(loadPreviewImage(dir.filePath("missing.png").toStdString()).isNull());
        QVERIFY(loadPreviewImage(writeText(dir, "notes.png", "Not a picture at all")).isNull());
        QVERIFY(loadPreviewImage(dir.path().toStdString()).isNull());  // a folder
        QVERIFY(loadPreviewImage("picture").isNull());                 // relative: nowhere in particular
        QVERIFY(loadPreviewImage(png + std::string(1, '\0') + "x").isNull());
        // A vector picture could name further files; only raster formats are read.
        QVERIFY(loadPreviewImage(writeText(dir, "vector.svg",
                                           "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'>"
                                           "<rect width='10' height='10'/></svg>"))
                    .isNull());

        // A FIFO would block whoever opens it for reading; it is never opened.
        const std::string fifo = dir.filePath("pipe").toStdString();
        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        QVERIFY(loadPreviewImage(fifo).isNull());
        QVERIFY(loadPreviewImage("/dev/zero").isNull());
    }

    void anImageBeyondTheLimitsIsRefusedOrScaledDown() {
        QTemporaryDir dir;
        const std::string png = writePng(dir, "wide.png", QSize(400, 200));
        QVERIFY(loadPreviewImage(png, {.maxPixels = 400 * 200 - 1}).isNull());
        QVERIFY(loadPreviewImage(png, {.maxFileBytes = 64}).isNull());
        QCOMPARE(loadPreviewImage(png, {.maxSide = 100}).size(), QSize(100, 50));
        QCOMPARE(loadPreviewImage(png, {.maxPixels = 400 * 200}).size(), QSize(400, 200));

        MessageLinkPreviewCard refusing({.maxPixels = 1000});
        refusing.setPreview(preview("Wide", png));
        QVERIFY(refusing.image().isNull());
        QVERIFY(refusing.findChild<QWidget*>("previewImage")->isHidden());
    }

    void theCardShowsThePictureOnlyWhenItLoads() {
        QTemporaryDir dir;
        MessageLinkPreviewCard card;
        auto* image = card.findChild<QWidget*>("previewImage");
        card.setPreview(preview("With picture", writePng(dir, "p.png", QSize(300, 150))));
        QVERIFY(!image->isHidden());
        QCOMPARE(image->heightForWidth(200), 100);  // the full width, keeping the aspect ratio

        card.setPreview(preview("Missing", dir.filePath("gone.png").toStdString()));
        QVERIFY(image->isHidden());
        card.setPreview(preview("Not an image", writeText(dir, "t.png", "plain text")));
        QVERIFY(image->isHidden());
        card.setPreview(preview("No path"));
        QVERIFY(image->isHidden());
    }

    void thePictureIsReadOnceUntilItsFileChanges() {
        QTemporaryDir dir;
        const std::string path = writePng(dir, "p.png", QSize(120, 60), Qt::red);
        MessageLinkPreviewCard card;
        card.setPreview(preview("Cached", path));
        const qint64 first = card.image().cacheKey();
        QCOMPARE(card.image().pixelColor(0, 0), QColor(Qt::red));

        // Other bytes of the same length under the same modification time: a re-read would lose the
        // picture, so keeping it shows the file was not read again.
        const auto modified = std::filesystem::last_write_time(path);
        const auto size = std::filesystem::file_size(path);
        writeText(dir, "p.png", std::string(size, 'x'));
        std::filesystem::last_write_time(path, modified);
        for (int sync = 0; sync < 50; ++sync) {
            card.setPreview(preview("Cached", path));
        }
        QCOMPARE(card.image().cacheKey(), first);

        writePng(dir, "p.png", QSize(120, 60), Qt::blue);
        std::filesystem::last_write_time(path, modified + std::chrono::seconds(5));
        card.setPreview(preview("Cached", path));
        QVERIFY(card.image().cacheKey() != first);
        QCOMPARE(card.image().pixelColor(0, 0), QColor(Qt::blue));
    }
};

NUDGERLY_UI_TEST(MessageLinkPreviewCardTests);

}  // namespace nudgerly::test

#include "MessageLinkPreviewCardTests.moc"
