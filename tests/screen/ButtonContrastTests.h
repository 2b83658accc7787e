#pragma once

#include <memory>

#include <QObject>

#include "state/Section.h"

Q_DECLARE_METATYPE(nudgerly::Section)

namespace nudgerly::test {

struct ShownMainWindow;

// The text of the filled (prominent) buttons measured on screenshots of the main window: at least
// 4.5:1 against the fill while enabled, 3:1 while disabled.
class ButtonContrastTests : public QObject {
    Q_OBJECT

public:
    ButtonContrastTests();
    ~ButtonContrastTests() override;

private slots:
    void initTestCase();
    void cleanupTestCase();
    void filledButtonTextIsReadable_data();
    void filledButtonTextIsReadable();

private:
    std::unique_ptr<ShownMainWindow> shown_;  // one window for every case
};

}  // namespace nudgerly::test
