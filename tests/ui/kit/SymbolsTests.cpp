#include <set>
#include <string>

#include <QImage>
#include <QTest>

#include "core/RawEnum.h"
#include "ui/UiTest.h"
#include "ui/kit/Look.h"
#include "ui/kit/Symbols.h"
#include "ui/shared/ReviewDisplay.h"

namespace nudgerly::test {
namespace {

bool hasInk(const QPixmap& pixmap) {
    const QImage image = pixmap.toImage();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

class SymbolsTests : public QObject {
    Q_OBJECT

private slots:
    void everySymbolOfTheTableResolvesAndDraws() {
        std::set<std::string_view> names;
        for (const Symbols::SymbolSource& symbol : Symbols::table()) {
            QVERIFY2(names.insert(symbol.name).second, symbol.name.data());
            QVERIFY2(!Symbols::icon(symbol.name).isNull(), symbol.name.data());
            const QPixmap drawn = Symbols::tinted(symbol.name, Look::color(Tone::green), 20, 2.0);
            QCOMPARE(drawn.deviceIndependentSize(), QSizeF(20, 20));
            QVERIFY2(hasInk(drawn), symbol.name.data());
        }
    }

    void tintingKeepsTheShapeAndPaintsTheColour() {
        const QImage image = Symbols::tinted("checkmark.circle.fill", QColor(255, 0, 0), 32).toImage();
        bool red = false;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() == 255) {
                    QCOMPARE(pixel.rgb(), QColor(255, 0, 0).rgb());
                    red = true;
                }
            }
        }
        QVERIFY(red);
    }

    void unknownNamesGiveNothing() {
        QVERIFY(Symbols::icon("no.such.symbol").isNull());
        QVERIFY(Symbols::tinted("no.such.symbol", Qt::black, 16).isNull());
    }

    void theSourcesSymbolsAreInTheTable() {
        for (const ReviewSource source : allCases<ReviewSource>()) {
            QVERIFY(!Symbols::icon(ReviewDisplay::sourceSymbol(source)).isNull());
        }
    }
};

NUDGERLY_UI_TEST(SymbolsTests);

}  // namespace nudgerly::test

#include "SymbolsTests.moc"
