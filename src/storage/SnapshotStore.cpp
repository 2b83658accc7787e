#include "storage/SnapshotStore.h"

#include <array>
#include <exception>
#include <functional>
#include <istream>
#include <utility>
#include <vector>

#include "core/FileSystemError.h"
#include "core/Files.h"
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

// The snapshot read from `input` (text or a stream) with the decoder above.
template <typename Input>
ReviewSnapshot decodeFrom(Input&& input) {
    ElementDecoder elements;
    const nlohmann::json rest = parseJson(std::forward<Input>(input), std::ref(elements));
    ReviewSnapshot snapshot = ReviewSnapshot::fromJson(rest, coding);
    elements.complete(snapshot);
    return snapshot;
}

}  // namespace

std::string encode(const ReviewSnapshot& snapshot) {
    return JsonWriter::write(snapshot.toJson(coding), JsonWriter::Style::pretty);
}

ReviewSnapshot decode(std::string_view bytes) {
    return decodeFrom(bytes);
}

ReviewSnapshot decode(std::istream& bytes) {
    return decodeFrom(bytes);
}

void save(const ReviewSnapshot& snapshot, const std::filesystem::path& file) {
    AppFiles::prepare(file.parent_path());
    writeFileAtomically(file, encode(snapshot));
}

std::optional<ReviewSnapshot> load(const std::filesystem::path& file, std::stop_token stop) {
    try {
        // Read a piece at a time: the decoded snapshot is all that is held, never the file's text too.
        OwnFileBuffer buffer(file, maximumFileSize, stop);
        std::istream in(&buffer);
        return decode(in);
    } catch (const FileSystemError&) {
        return std::nullopt;
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
}

}  // namespace nudgerly::SnapshotStore
