#include "storage/SnapshotStore.h"

#include <algorithm>
#include <array>
#include <exception>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "core/CancelledError.h"
#include "core/FileSystemError.h"
#include "core/Files.h"
#include "core/JsonObjectSlices.h"
#include "core/JsonWriter.h"
#include "storage/AppFiles.h"

namespace nudgerly::SnapshotStore {

namespace {

// Decodes each element of the snapshot's two long arrays, "items" and "classificationCache", as soon
// as the parser has read it, and drops it from the tree: the file is never held whole as a tree, only
// its top-level fields and one element at a time. As in the tree, a key given twice counts with its
// last value, so an element that fails to decode fails the snapshot only in the last array of its key.
class ElementDecoder {
public:
    using Event = nlohmann::json::parse_event_t;

    bool operator()(int depth, Event event, nlohmann::json& parsed) {
        if (depth == 1) {
            return atTopLevel(event, parsed);
        }
        const bool elementEnds = event == Event::object_end || event == Event::array_end || event == Event::value;
        if (depth != 2 || !elementEnds || current_ == Array::none) {
            return true;
        }
        try {
            if (current_ == Array::items) {
                items_.push_back(Json::read<ReviewItem>(parsed, coding));
            } else {
                cache_.push_back(Json::read<CachedConversationClassification>(parsed, coding));
            }
        } catch (const JsonDecodingError&) {
            if (!failure_[current_ == Array::items ? 0 : 1]) {
                failure_[current_ == Array::items ? 0 : 1] = std::current_exception();
            }
        }
        return false;
    }

    // Puts the decoded elements in place of the emptied arrays of `snapshot`, read from what was left.
    void complete(ReviewSnapshot& snapshot) {
        for (const std::exception_ptr& failure : failure_) {
            if (failure) {
                std::rethrow_exception(failure);
            }
        }
        snapshot.items = std::move(items_);
        if (snapshot.classificationCache) {
            snapshot.classificationCache = std::move(cache_);
        }
    }

private:
    enum class Array { none, items, cache };

    bool atTopLevel(Event event, const nlohmann::json& parsed) {
        if (event == Event::key) {
            key_ = parsed.get<std::string>();
        } else if (event == Event::array_start && (key_ == "items" || key_ == "classificationCache")) {
            // This array replaces any earlier one of the key.
            current_ = key_ == "items" ? Array::items : Array::cache;
            if (current_ == Array::items) {
                items_.clear();
                failure_[0] = nullptr;
            } else {
                cache_.clear();
                failure_[1] = nullptr;
            }
        } else if (event == Event::array_end) {
            current_ = Array::none;
        }
        return true;
    }

    std::string key_;
    Array current_ = Array::none;
    std::vector<ReviewItem> items_;
    std::vector<CachedConversationClassification> cache_;
    std::array<std::exception_ptr, 2> failure_;
};

// The snapshot in `text`, read by nlohmann's parser with the decoder above.
ReviewSnapshot decodeWhole(std::string_view text) {
    ElementDecoder elements;
    const nlohmann::json rest = parseJson(text, std::ref(elements));
    ReviewSnapshot snapshot = ReviewSnapshot::fromJson(rest, coding);
    elements.complete(snapshot);
    return snapshot;
}

// Elements are decoded side by side in parts of at least this many.
constexpr std::size_t elementsPerPart = 1024;

// The elements, each parsed and decoded on its own, in parts side by side: parsing is nearly all of the
// time a large queue takes to read. Any element that fails fails them all.
template <typename T>
std::vector<T> decodeElements(const std::vector<std::string_view>& elements, const std::stop_token& stop) {
    const std::size_t parts = std::clamp<std::size_t>(elements.size() / elementsPerPart, 1,
                                                      std::max(std::thread::hardware_concurrency(), 1u));
    std::vector<T> decoded(elements.size());
    std::vector<std::exception_ptr> failures(parts);
    const auto decodePart = [&](std::size_t part) {
        try {
            const std::size_t end = elements.size() * (part + 1) / parts;
            for (std::size_t index = elements.size() * part / parts; index < end; ++index) {
                if (index % 256 == 0 && stop.stop_requested()) {
                    throw CancelledError();
                }
                decoded[index] = Json::read<T>(parseJson(elements[index]), coding);
            }
        } catch (...) {
            failures[part] = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> others;
        for (std::size_t part = 1; part < parts; ++part) {
            others.emplace_back(decodePart, part);
        }
        decodePart(0);
    }
    if (stop.stop_requested()) {
        throw CancelledError();
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
    return decoded;
}

// The snapshot in `bytes`: its two long arrays cut out and their elements decoded side by side. Text
// the cutter is not sure of goes to the parser whole, which tells what is wrong with it.
ReviewSnapshot decodeText(std::string_view bytes, const std::stop_token& stop) {
    static constexpr std::array<std::string_view, 2> arrays{"items", "classificationCache"};
    const std::optional<JsonObjectSlices> slices = sliceJsonObject(bytes, arrays);
    if (!slices) {
        return decodeWhole(bytes);
    }
    ReviewSnapshot snapshot = ReviewSnapshot::fromJson(parseJson(slices->rest), coding);
    snapshot.items = decodeElements<ReviewItem>(slices->arrays[0], stop);
    if (snapshot.classificationCache) {
        snapshot.classificationCache = decodeElements<CachedConversationClassification>(slices->arrays[1], stop);
    }
    return snapshot;
}

}  // namespace

std::string encode(const ReviewSnapshot& snapshot) {
    return JsonWriter::write(snapshot.toJson(coding), JsonWriter::Style::pretty);
}

ReviewSnapshot decode(std::string_view bytes) {
    return decodeText(bytes, {});
}

void save(const ReviewSnapshot& snapshot, const std::filesystem::path& file) {
    AppFiles::prepare(file.parent_path());
    writeFileAtomically(file, encode(snapshot));
}

std::optional<ReviewSnapshot> load(const std::filesystem::path& file, std::stop_token stop) {
    try {
        // The text is held only while it is decoded.
        return decodeText(readOwnFile(file, maximumFileSize, stop), stop);
    } catch (const FileSystemError&) {
        return std::nullopt;
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
}

}  // namespace nudgerly::SnapshotStore
