#pragma once

#include <memory>

#include <QObject>

#include "ButtonContrastTests.h"

namespace nudgerly::test {

struct ShownMainWindow;

// Every text of the main window measured on screenshots of it: the labels of each page, and the
// badges and lines the queue's rows paint, at least 4.5:1 against what they are drawn on.
class TextContrastTests : public QObject {
    Q_OBJECT

public:
    TextContrastTests();
    ~TextContrastTests() override;

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyLabelIsReadable_data();
    void everyLabelIsReadable();
    void theQueueRowsBadgesAreReadable();

private:
    std::unique_ptr<ShownMainWindow> shown_;
};

}  // namespace nudgerly::test
