// The snapshot store against a plain model: a chunked list of records, each
// holding a text kept in the list's arena, driven by a sequence of
// operations read from bytes (a seeded generator's in the unit suite, the
// fuzzer's in fuzz/store_model_fuzzer.cpp), and after every operation
// compared with a std::vector<std::optional<std::string>>. The operations:
// store a text (shorter, as long as, longer than the one before; empty; at
// and past the 65,535-byte cap), append records one by one or by the dozen
// (across chunk boundaries), take the last back, keep a text that is never
// replaced, make the next few allocations fail, clear, and move the whole
// store into a new one or over an existing one. The store is made from the
// heap or from one RegionMemory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "alloc_failure.hpp"
#include "store/chunked_list.hpp"
#include "store/region_memory.hpp"
#include "store/text_arena.hpp"

namespace rdv_test {

// A record as the tool keeps one: a text, and a number beside it.
struct StoreRecord {
    rdv::Text text;
    std::uint32_t tag = 0;
};

class StoreModel {
public:
    using Record = StoreRecord;
    static constexpr std::size_t kChunk = 8;

    explicit StoreModel(bool from_regions) : from_regions_(from_regions), store_(make_store()) {}
    ~StoreModel() { fail_allocation(0); }

    // Runs the operations in `bytes`; the first difference from the model,
    // or nothing.
    std::string run(std::string_view bytes)
    {
        bytes_ = bytes;
        for (step_ = 0; !bytes_.empty(); ++step_) {
            std::string problem = apply(next() % 16);
            if (problem.empty())
                problem = compare();
            if (!problem.empty())
                return "step " + std::to_string(step_) + ": " + problem;
        }
        return {};
    }

private:
    struct Store {
        rdv::RegionMemory memory;
        rdv::ChunkedList<Record, kChunk> records;
        rdv::TextArena texts;
    };

    std::unique_ptr<Store> make_store() const
    {
        auto store = std::make_unique<Store>();
        if (from_regions_) {
            store->records.memory_moved(&store->memory);
            store->texts.memory_moved(&store->memory);
        }
        return store;
    }

    std::uint8_t next() noexcept
    {
        if (bytes_.empty())
            return 0;
        const auto byte = static_cast<std::uint8_t>(bytes_.front());
        bytes_.remove_prefix(1);
        return byte;
    }

    std::size_t below(std::size_t n) noexcept { return n == 0 ? 0 : (std::size_t{next()} << 8 | next()) % n; }

    // A length near one of the edges: small ones, the text's own length and
    // its neighbours, the room a text that grew would take; now and then
    // one at or around the 16-bit cap.
    std::size_t length_near(std::size_t current) noexcept
    {
        const std::size_t small[] = {0,  1,  7,       8,           9,               15,
                                     16, 17, current, current + 1, current * 2 + 1, current ? current - 1 : 0};
        const std::size_t large[] = {32767, 32768, 40000, 65534, 65535, 65536};
        if (next() % 8 != 0)
            return small[below(std::size(small))];
        return large[below(std::size(large))];
    }

    std::string text_of(std::size_t length)
    {
        std::string text(length, '\0');
        const std::size_t salt = ++texts_made_;
        for (std::size_t i = 0; i < length; ++i)
            text[i] = static_cast<char>((salt * 131 + i * 7 + (i >> 8)) & 0xFF);
        return text;
    }

    // Makes the next allocation, or one of the few after it, fail for the
    // next operation only.
    void arm_failure() noexcept { fail_allocation(static_cast<unsigned>(1 + below(3))); }

    std::string append_records(std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            Record* record = store_->records.append();
            if (!record)
                return allocation_failed() ? std::string() : "append failed with memory to spare";
            if (record->text.has_value() || record->tag != 0)
                return "a new record is not empty";
            record->tag = ++tags_made_;
            model_.emplace_back();
            tags_.push_back(record->tag);
            addresses_.push_back(record);
        }
        return {};
    }

    std::string store_text(std::size_t index)
    {
        const std::optional<std::string>& before = model_[index];
        std::string text = text_of(length_near(before ? before->size() : 0));
        rdv::Text& field = store_->records[index].text;
        const char* was_at = (*field).data();
        const bool stored = store_->texts.store(field, text);
        if (text.size() > rdv::TextArena::kMaxText)
            return stored ? "a text past the cap was stored" : std::string();
        if (!stored)
            return allocation_failed() ? std::string() : "store failed with memory to spare";
        // A text no longer than the one before fits the room that one had.
        if (before && text.size() <= before->size() && (*field).data() != was_at)
            return "a text of " + std::to_string(text.size()) + " bytes left the room of one of " +
                   std::to_string(before->size());
        model_[index] = std::move(text);
        return {};
    }

    std::string keep_text()
    {
        std::string text = text_of(length_near(0));
        const auto position = store_->texts.append(text);
        if (text.size() > rdv::TextArena::kMaxText)
            return position ? "a text past the cap was kept" : std::string();
        if (!position)
            return allocation_failed() ? std::string() : "append of a text failed with memory to spare";
        kept_.emplace_back(*position, std::move(text));
        return {};
    }

    void clear()
    {
        store_->records.clear();
        store_->texts.clear();
        store_->memory.release();
        model_.clear();
        tags_.clear();
        addresses_.clear();
        kept_.clear();
    }

    // Moves the store into a new one, or over one that holds records of its
    // own, in the order SceneNodeList moves its members.
    std::string move(bool over_another)
    {
        auto target = make_store();
        if (over_another) {
            for (int i = 0; i < 20; ++i) {
                Record* record = target->records.append();
                if (!record || !target->texts.store(record->text, std::string(40, 'z')))
                    return "filling the store to move over failed";
            }
            target->records = std::move(store_->records);
            target->texts = std::move(store_->texts);
            target->memory = std::move(store_->memory);
        } else {
            target.reset(new Store{std::move(store_->memory), std::move(store_->records), std::move(store_->texts)});
        }
        if (from_regions_) {
            target->records.memory_moved(&target->memory);
            target->texts.memory_moved(&target->memory);
        }
        if (!store_->records.empty() || store_->texts.reserved() != 0)
            return "the store moved from still holds something";
        // What was moved from is empty, and can be used again.
        if (from_regions_) {
            store_->records.memory_moved(&store_->memory);
            store_->texts.memory_moved(&store_->memory);
        }
        Record* record = store_->records.append();
        if (!record || !store_->texts.store(record->text, "again") || *store_->records[0].text != "again" ||
            store_->records.size() != 1)
            return "the store moved from cannot be used again";
        store_ = std::move(target);
        return {};
    }

    std::string apply(std::uint8_t op)
    {
        fail_allocation(0);
        if (op >= 12) {
            arm_failure();
            op = static_cast<std::uint8_t>(next() % 12);
        }
        std::string problem;
        switch (op) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
            problem = model_.empty() ? append_records(1) : store_text(below(model_.size()));
            break;
        case 5:
            problem = append_records(1);
            break;
        case 6:
            problem = append_records(1 + below(3 * kChunk));
            break;
        case 7:
            if (!model_.empty()) {
                store_->records.pop_back();
                model_.pop_back();
                tags_.pop_back();
                addresses_.pop_back();
            }
            break;
        case 8:
            problem = keep_text();
            break;
        case 9:
            if (next() % 4 == 0)
                clear();
            break;
        default:
            fail_allocation(0);  // a move allocates nothing of the store's
            problem = move(op == 11);
            break;
        }
        fail_allocation(0);
        return problem;
    }

    std::string compare() const
    {
        const auto& records = store_->records;
        if (records.size() != model_.size())
            return "the list holds " + std::to_string(records.size()) + " records, the model " +
                   std::to_string(model_.size());
        std::size_t index = 0;
        for (const Record& record : records) {
            const std::string at = " of record " + std::to_string(index);
            if (&record != addresses_[index] || &records[index] != &record)
                return "the address" + at + " changed";
            if (record.tag != tags_[index])
                return "the number beside the text" + at + " changed";
            const std::optional<std::string>& want = model_[index];
            if (record.text.has_value() != want.has_value())
                return "the text" + at + (want ? " is absent" : " is present");
            if (want && *record.text != *want)
                return "the text" + at + " differs: " + std::to_string((*record.text).size()) + " bytes, want " +
                       std::to_string(want->size());
            ++index;
        }
        for (std::size_t k = 0; k < kept_.size(); ++k) {
            if (store_->texts.at(kept_[k].first, kept_[k].second.size()) != kept_[k].second)
                return "kept text " + std::to_string(k) + " differs";
        }
        return {};
    }

    const bool from_regions_;
    std::unique_ptr<Store> store_;
    std::vector<std::optional<std::string>> model_;
    std::vector<std::uint32_t> tags_;
    std::vector<const Record*> addresses_;
    std::vector<std::pair<std::uint32_t, std::string>> kept_;
    std::string_view bytes_;
    std::size_t step_ = 0;
    std::size_t texts_made_ = 0;
    std::uint32_t tags_made_ = 0;
};

}  // namespace rdv_test
