#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include <QString>
#include <QWidget>

namespace nudgerly::test {

// Where a screenshot fixture writes its pictures.
class ShotContext {
public:
    explicit ShotContext(std::filesystem::path folder) : folder_(std::move(folder)) {}

    // Shows `widget` offscreen at `size` (its own size hint when invalid), lets it lay out and paint,
    // and writes it to <folder>/<name>.png. Throws std::runtime_error when the picture is of one colour
    // or cannot be written.
    void save(QWidget& widget, const QString& name, QSize size = {});

    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
};

struct Shot {
    std::string name;
    std::string description;
    std::function<void(ShotContext&)> render;
};

void registerShot(Shot shot);

struct ShotRegistration {
    ShotRegistration(std::string name, std::string description, std::function<void(ShotContext&)> render) {
        registerShot({std::move(name), std::move(description), std::move(render)});
    }
};

}  // namespace nudgerly::test

// Defines a screenshot fixture: NUDGERLY_SHOT(gallery, "What it shows") { ... context.save(...); }
#define NUDGERLY_SHOT(Name, Description)                                                                          \
    static void renderShot##Name(::nudgerly::test::ShotContext& context);                                         \
    static const ::nudgerly::test::ShotRegistration shotRegistration##Name(#Name, Description, renderShot##Name); \
    static void renderShot##Name([[maybe_unused]] ::nudgerly::test::ShotContext& context)
