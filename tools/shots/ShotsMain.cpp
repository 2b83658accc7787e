#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QSaveFile>

#include "Shot.h"
#include "statefakes/ScreenFixture.h"
#include "ui/kit/Look.h"

namespace nudgerly::test {
namespace {

std::map<std::string, Shot>& registry() {
    static std::map<std::string, Shot> shots;
    return shots;
}

// A picture of one colour means nothing was drawn.
bool isBlank(const QImage& image) {
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != first) {
                return false;
            }
        }
    }
    return true;
}

int usage() {
    std::fprintf(stderr, "Usage: nudgerly-shots OUT-FOLDER [FIXTURE...]\nFixtures:\n");
    for (const auto& [name, shot] : registry()) {
        std::fprintf(stderr, "  %-20s %s\n", name.c_str(), shot.description.c_str());
    }
    return 2;
}

}  // namespace

void registerShot(Shot shot) {
    std::string name = shot.name;
    registry().emplace(std::move(name), std::move(shot));
}

void ShotContext::save(QWidget& widget, const QString& name, QSize size) {
    widget.setAttribute(Qt::WA_DontShowOnScreen);
    widget.resize(size.isValid() ? size : widget.sizeHint());
    widget.show();
    QApplication::processEvents();  // state notifications, layout and the first paint
    QApplication::processEvents();
    const QImage image = widget.grab().toImage();
    if (image.isNull() || isBlank(image)) {
        throw std::runtime_error("The picture " + name.toStdString() + " came out blank.");
    }
    std::filesystem::create_directories(folder_);
    const QString path = QString::fromStdString((folder_ / (name.toStdString() + ".png")).string());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        throw std::runtime_error("Couldn't write " + path.toStdString() + ".");
    }
    std::printf("%s\n", path.toUtf8().constData());
}

}  // namespace nudgerly::test

int main(int argc, char** argv) {
    using namespace nudgerly::test;
    pinScreenEnvironment();
    QApplication app(argc, argv);
    nudgerly::Look::apply();
    if (argc < 2) {
        return usage();
    }
    std::vector<std::string> names(argv + 2, argv + argc);
    if (names.empty()) {
        for (const auto& [name, shot] : registry()) {
            names.push_back(name);
        }
    }
    ShotContext context(argv[1]);
    for (const std::string& name : names) {
        const auto found = registry().find(name);
        if (found == registry().end()) {
            std::fprintf(stderr, "There is no fixture named %s.\n", name.c_str());
            return usage();
        }
        try {
            found->second.render(context);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), error.what());
            return 1;
        }
    }
    return 0;
}
