// Random sequences of list operations, applied both to the library's lists and to plain vector
// models of them; after every step the two must agree on count, capacity, ownership, every slot of
// the arrays (unused slots included), the results and the bytes released. Lent arrays are
// allocated at exactly their capacity, so a write past it is a sanitizer report.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "zqxmlu.h"

#define CHECK(c)                                                                 \
    do {                                                                         \
        if (!(c)) {                                                              \
            std::fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #c); \
            std::abort();                                                        \
        }                                                                        \
    } while (0)

namespace {

constexpr char kTag[] = "fuzz";

class Input {
  public:
    Input(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool Done() const { return p_ == end_; }
    uint8_t Byte() { return p_ == end_ ? 0 : *p_++; }
    uint64_t Bytes(int n) {
        uint64_t v = 0;
        for (int i = 0; i < n; ++i)
            v = v << 8 | Byte();
        return v;
    }
    int Small() { return static_cast<int8_t>(Byte()); }  // -128..127

  private:
    const uint8_t* p_;
    const uint8_t* end_;
};

template <typename T>
bool SameSlots(const T* a, const std::vector<T>& b, int n) {
    return n == 0 || std::memcmp(a, b.data(), static_cast<size_t>(n) * sizeof(T)) == 0;
}

// Column growth of the lists: before an entry is added, when count + 1 >= capacity,
// to 2 * capacity + 5; new slots zero; a list without arrays starts afresh; lent arrays give only
// their first `count` entries to the copy.
template <typename T>
void GrowModel(std::vector<T>& column, int count, int capacity, bool owned, int grown) {
    std::vector<T> next(static_cast<size_t>(grown), T{});
    if (capacity != 0) {
        const int kept = owned ? capacity : count;
        std::copy(column.begin(), column.begin() + kept, next.begin());
    }
    column = std::move(next);
}

// ----- Keyword list, P list, Q list ----------------------------------------------------------

template <typename List>
class KeyedHarness {
  public:
    using K = std::remove_pointer_t<decltype(List::keys)>;
    using V = std::remove_pointer_t<decltype(List::values)>;

    void Start(Input& in) {
        const int lent = in.Byte() % 12;
        if (lent == 0) return;
        capacity_ = lent;
        count_ = in.Byte() % (lent + 1);
        keys_.assign(static_cast<size_t>(lent), K{});
        values_.assign(static_cast<size_t>(lent), V{});
        for (auto& k : keys_)
            k = Key(in.Byte());
        for (auto& v : values_)
            v = static_cast<V>(in.Bytes(sizeof(V)));
        lentKeys_ = std::make_unique<K[]>(static_cast<size_t>(lent));
        lentValues_ = std::make_unique<V[]>(static_cast<size_t>(lent));
        std::copy(keys_.begin(), keys_.end(), lentKeys_.get());
        std::copy(values_.begin(), values_.end(), lentValues_.get());
        list_ = List{count_, capacity_, 0, lentKeys_.get(), lentValues_.get()};
    }

    void Step(Input& in) {
        const uint8_t op = in.Byte();
        switch (op % 8) {
            case 0:
            case 1:
            case 2:
            case 3: {
                static constexpr int kModes[] = {1, 1, 2, 4, 5, 0, 3, -2};
                const int mode = kModes[in.Byte() % 8];
                const K key = Key(in.Byte());
                const V value = static_cast<V>(in.Bytes(sizeof(V)));
                const int expected = Modify(key, value, mode);
                CHECK(Call(key, value, mode) == expected);
                break;
            }
            case 4: {
                const int start = in.Small() % 24, n = in.Small() % 24;
                if constexpr (std::is_same_v<List, ZQ_KWLIST_STRUCT_T>) {
                    ZqXmlU_DelFromKwList(&list_, start, n);
                    if (start >= 0 && n >= 0 && count_ >= start + n) {
                        std::copy(keys_.begin() + start + n, keys_.begin() + count_,
                                  keys_.begin() + start);
                        std::copy(values_.begin() + start + n, values_.begin() + count_,
                                  values_.begin() + start);
                        count_ -= n;
                    }
                } else if constexpr (std::is_same_v<List, ZQ_KWLIST_STRUCT_TQ>) {
                    Sort();
                }
                break;
            }
            case 5:
                Release();
                break;
            case 6: {  // a run of appends or adds, to reach the later growth points
                const int n = in.Byte(), mode = in.Byte() % 2 ? 5 : 1;
                for (int i = 0; i < n; ++i) {
                    const K key = Key(static_cast<uint8_t>(i * 7));
                    const V value = static_cast<V>(i);
                    CHECK(Call(key, value, mode) == Modify(key, value, mode));
                }
                break;
            }
            default:
                Unsound(in);
                break;
        }
        Check();
    }

    void Finish() {
        Release();
        Check();
    }

  private:
    static K Key(uint8_t b) {
        if constexpr (sizeof(K) == 8) {
            return static_cast<K>((uint64_t{b} >> 4 & 3) << 32 | (b & 7));  // halves matter
        } else if constexpr (std::is_same_v<List, ZQ_KWLIST_STRUCT_TQ>) {
            static constexpr uint32_t kKeys[] = {0, 1, 7, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
            return kKeys[b % 6];
        } else {
            return static_cast<K>(b % 12);
        }
    }

    int Call(K key, V value, int mode) {
        if constexpr (std::is_same_v<List, ZQ_KWLIST_STRUCT_T>) {
            return ZqXmlU_ModifyKwList(&list_, key, value, mode, kTag);
        } else if constexpr (std::is_same_v<List, ZQ_KWLIST_STRUCT_TP>) {
            return ZqXmlU_ModifyKwList_p(&list_, key, value, mode, kTag);
        } else {
            return ZqXmlU_ModifyKwList_q(&list_, key, value, mode, kTag);
        }
    }

    int Modify(K key, V value, int mode) {
        if (count_ + 1 >= capacity_) {
            const int grown = 2 * capacity_ + 5;
            if (capacity_ != 0 && !owned_) lentCopy_ = {keys_, values_};
            GrowModel(keys_, count_, capacity_, owned_, grown);
            GrowModel(values_, count_, capacity_, owned_, grown);
            capacity_ = grown;
            owned_ = true;
        }
        int at = -1;
        if (mode != 5) {
            const auto it = std::find(keys_.begin(), keys_.begin() + count_, key);
            if (it != keys_.begin() + count_) at = static_cast<int>(it - keys_.begin());
        }
        if (mode == 5 || (mode == 1 && at < 0)) {
            keys_[static_cast<size_t>(count_)] = key;
            values_[static_cast<size_t>(count_++)] = value;
        } else if (mode == 1) {
            values_[static_cast<size_t>(at)] = value;
        } else if (mode == 2 && at >= 0) {
            --count_;
            keys_[static_cast<size_t>(at)] = keys_[static_cast<size_t>(count_)];
            values_[static_cast<size_t>(at)] = values_[static_cast<size_t>(count_)];
        } else if (mode == 4) {
            return at < 0 ? -1 : static_cast<int>(static_cast<uint32_t>(values_[at]));
        }
        return at;
    }

    void Sort() {
        std::vector<std::pair<K, V>> model;
        for (int i = 0; i < count_; ++i)
            model.emplace_back(keys_[i], values_[i]);
        ZqXmlU_SortKwList_q(&list_);
        std::vector<std::pair<K, V>> sorted;
        for (int i = 0; i < count_; ++i)
            sorted.emplace_back(list_.keys[i], list_.values[i]);
        for (size_t i = 1; i < sorted.size(); ++i)
            CHECK(sorted[i - 1].first <= sorted[i].first);
        std::sort(model.begin(), model.end());
        auto same = sorted;
        std::sort(same.begin(), same.end());
        CHECK(same == model);
        for (int i = 0; i < count_; ++i)  // equal keys may come in any order: adopt it
            std::tie(keys_[i], values_[i]) = sorted[static_cast<size_t>(i)];
    }

    void Release() {
        const uint32_t expected =
            owned_ && capacity_ != 0 ? capacity_ * static_cast<uint32_t>(sizeof(K) + sizeof(V)) : 0;
        CHECK(ZqXmlU_FreeKwList(reinterpret_cast<ZQ_KWLIST_STRUCT_T*>(&list_)) ==
              static_cast<int>(expected));
        if (owned_) {
            capacity_ = 0;
            keys_.clear();
            values_.clear();
            CHECK(list_.keys == nullptr && list_.values == nullptr);
        }
        count_ = 0;
    }

    // A count outside 0..capacity, or an array missing while capacity > 0: every operation must
    // leave the list and its arrays alone (the release operations need only a sound count).
    void Unsound(Input& in) {
        const List saved = list_;
        const uint8_t how = in.Byte() % 4;
        const bool missing = how >= 2 && capacity_ > 0;
        if (!missing) {
            list_.count = how % 2 ? -1 - in.Byte() : capacity_ + 1 + in.Byte();
        } else if (how == 2) {
            list_.keys = nullptr;
        } else {
            list_.values = nullptr;
        }
        const List before = list_;
        const auto same = [&] {
            return before.count == list_.count && before.capacity == list_.capacity &&
                   before.owned == list_.owned && before.keys == list_.keys &&
                   before.values == list_.values;
        };
        for (int mode : {1, 2, 4, 5, 0})
            CHECK(Call(Key(in.Byte()), V{}, mode) == -1);
        if constexpr (std::is_same_v<List, ZQ_KWLIST_STRUCT_T>) {
            ZqXmlU_DelFromKwList(&list_, 0, 1);
            ZqXmlU_PurgeIdentity(&list_, 0);
        } else if constexpr (std::is_same_v<List, ZQ_KWLIST_STRUCT_TQ>) {
            ZqXmlU_SortKwList_q(&list_);
        }
        if (!missing) CHECK(ZqXmlU_FreeKwList(reinterpret_cast<ZQ_KWLIST_STRUCT_T*>(&list_)) == 0);
        CHECK(same());
        list_ = saved;
    }

    void Check() const {
        CHECK(list_.count == count_ && list_.capacity == capacity_ && list_.owned == int{owned_});
        if (capacity_ != 0) {
            CHECK(SameSlots(list_.keys, keys_, capacity_));
            CHECK(SameSlots(list_.values, values_, capacity_));
        }
        if (lentKeys_) CHECK((list_.keys == lentKeys_.get()) == !owned_);
        if (owned_ && capacity_ != 0) {
            CHECK(ZqXmlU_GetUsedSpace(list_.keys) == capacity_ * sizeof(K));
            CHECK(ZqXmlU_GetUsedSpace(list_.values) == capacity_ * sizeof(V));
        }
        if (!lentCopy_.first.empty()) {  // lent arrays stay as they were when copied
            CHECK(SameSlots(lentKeys_.get(), lentCopy_.first, int(lentCopy_.first.size())));
            CHECK(SameSlots(lentValues_.get(), lentCopy_.second, int(lentCopy_.second.size())));
        }
    }

    List list_{};
    int count_ = 0, capacity_ = 0;
    bool owned_ = false;
    std::vector<K> keys_;
    std::vector<V> values_;
    std::unique_ptr<K[]> lentKeys_;
    std::unique_ptr<V[]> lentValues_;
    std::pair<std::vector<K>, std::vector<V>> lentCopy_;
};

// ----- Keyword list owning its key strings ---------------------------------------------------

class StringKeyHarness {
  public:
    void Step(Input& in) {
        const uint8_t op = in.Byte();
        const int pick = count_ == 0 ? 0 : in.Byte() % count_;
        switch (op % 6) {
            case 0:
            case 1: {  // a new string, always a new key
                const uint32_t size = in.Byte() % 40 + 1;
                void* s = ZqXmlU_Calloc(static_cast<int>(size), 1, kTag);
                sizes_[s] = size;
                CHECK(ZqXmlU_ModifyKwList(&list_, Word(s), count_, op % 2 ? 5 : 1, kTag) == -1);
                Room();
                keys_[static_cast<size_t>(count_)] = s;
                values_[static_cast<size_t>(count_)] = static_cast<uintptr_t>(count_);
                ++count_;
                break;
            }
            case 2: {  // removal by key: the list drops the string, its owner releases it
                if (count_ == 0) break;
                void* s = keys_[static_cast<size_t>(pick)];
                Room();
                CHECK(ZqXmlU_ModifyKwList(&list_, Word(s), 0, 2, kTag) == (s ? pick : -1));
                if (!s) break;  // a NULL key is never stored by this harness
                --count_;
                keys_[static_cast<size_t>(pick)] = keys_[static_cast<size_t>(count_)];
                values_[static_cast<size_t>(pick)] = values_[static_cast<size_t>(count_)];
                Release(s);
                break;
            }
            case 3: {
                const int index = in.Byte() % 2 ? pick : in.Small();
                CHECK(ZqXmlU_PurgeIdentity(&list_, index) == 0);
                if (index < 0 || index >= count_) break;
                Forget(keys_[static_cast<size_t>(index)]);
                keys_[static_cast<size_t>(index)] = nullptr;
                --count_;
                std::swap(keys_[static_cast<size_t>(index)], keys_[static_cast<size_t>(count_)]);
                std::swap(values_[static_cast<size_t>(index)],
                          values_[static_cast<size_t>(count_)]);
                break;
            }
            case 4: {
                const int start = in.Small() % 16, n = in.Small() % 16;
                ZqXmlU_DelFromKwList(&list_, start, n);
                if (start < 0 || n < 0 || count_ < start + n) break;
                for (int i = start; i < start + n; ++i)  // dropped by the list, released here
                    Release(keys_[static_cast<size_t>(i)]);
                std::copy(keys_.begin() + start + n, keys_.begin() + count_, keys_.begin() + start);
                std::copy(values_.begin() + start + n, values_.begin() + count_,
                          values_.begin() + start);
                count_ -= n;
                break;
            }
            default:
                Finish();
                break;
        }
        Check();
    }

    void Finish() {
        uint32_t expected = 0;
        for (int i = 0; i < count_; ++i) {
            if (keys_[static_cast<size_t>(i)]) expected += sizes_[keys_[static_cast<size_t>(i)]];
            Forget(keys_[static_cast<size_t>(i)]);
        }
        if (capacity_ != 0) expected += 2 * capacity_ * static_cast<uint32_t>(sizeof(uintptr_t));
        CHECK(ZqXmlU_FreeKwAllocList(&list_) == expected);
        count_ = capacity_ = 0;
        keys_.clear();
        values_.clear();
        Check();
    }

  private:
    static uintptr_t Word(void* p) { return reinterpret_cast<uintptr_t>(p); }
    static void* Key(uintptr_t w) { return reinterpret_cast<void*>(w); }

    void Room() {
        if (count_ + 1 < capacity_) return;
        const int grown = 2 * capacity_ + 5;
        GrowModel(keys_, count_, capacity_, true, grown);
        GrowModel(values_, count_, capacity_, true, grown);
        capacity_ = grown;
    }
    void Forget(void* s) { sizes_.erase(s); }
    void Release(void* s) {
        Forget(s);
        ZqXmlU_Free(&s);
    }

    void Check() const {
        CHECK(list_.count == count_ && list_.capacity == capacity_);
        for (int i = 0; i < capacity_; ++i) {
            CHECK(Key(list_.keys[i]) == keys_[static_cast<size_t>(i)]);
            CHECK(list_.values[i] == values_[static_cast<size_t>(i)]);
        }
    }

    ZQ_KWLIST_STRUCT_T list_{};
    int count_ = 0, capacity_ = 0;
    std::vector<void*> keys_;
    std::vector<uintptr_t> values_;
    std::map<void*, uint32_t> sizes_;  // live strings that the list owns
};

// ----- Prefix list ---------------------------------------------------------------------------

class PrefixHarness {
  public:
    void Start(Input& in) {
        const int lent = in.Byte() % 8;
        if (lent == 0) return;
        capacity_ = lent;
        count_ = in.Byte() % (lent + 1);
        for (auto& c : columns_)
            c.assign(static_cast<size_t>(lent), 7);
        for (auto& c : lent_) {
            c = std::make_unique<uintptr_t[]>(static_cast<size_t>(lent));
            std::fill(c.get(), c.get() + lent, 7);
        }
        list_ = {count_,
                 capacity_,
                 0,
                 lent_[0].get(),
                 reinterpret_cast<intptr_t*>(lent_[1].get()),
                 reinterpret_cast<intptr_t*>(lent_[2].get())};
    }

    void Step(Input& in) {
        const uint8_t op = in.Byte();
        if (op % 4 == 3) {
            const uint32_t expected = owned_ && capacity_ != 0
                                          ? 3 * capacity_ * static_cast<uint32_t>(sizeof(uintptr_t))
                                          : 0;
            CHECK(ZqXmlU_FreePrefixUriList(&list_) == expected);
            if (owned_) capacity_ = 0;
            count_ = 0;
        } else {
            const int n = op % 4 == 2 ? in.Byte() : 1;
            for (int i = 0; i < n; ++i) {
                const uintptr_t row[3] = {in.Byte(), uintptr_t{0} - i, uintptr_t(i)};
                CHECK(ZqXmlU_AddToPrefixUriList(&list_, row[0], intptr_t(row[1]), intptr_t(row[2]),
                                                op, kTag) == count_);
                if (count_ + 1 >= capacity_) {
                    for (auto& c : columns_)
                        GrowModel(c, count_, capacity_, owned_, 2 * capacity_ + 5);
                    capacity_ = 2 * capacity_ + 5;
                    owned_ = true;
                }
                for (int c = 0; c < 3; ++c)
                    columns_[c][static_cast<size_t>(count_)] = row[c];
                ++count_;
            }
        }
        CHECK(list_.count == count_ && list_.capacity == capacity_ && list_.owned == int{owned_});
        if (capacity_ == 0) return;
        CHECK(SameSlots(list_.prefixes, columns_[0], capacity_));
        CHECK(SameSlots(reinterpret_cast<uintptr_t*>(list_.uris), columns_[1], capacity_));
        CHECK(SameSlots(reinterpret_cast<uintptr_t*>(list_.extras), columns_[2], capacity_));
        CHECK((list_.prefixes == lent_[0].get()) == (lent_[0] && !owned_));
    }

    void Finish() {
        ZqXmlU_FreePrefixUriList(&list_);
        CHECK(list_.count == 0);
    }

  private:
    ZQ_PREFIX_URILIST_STRUCT_T list_{};
    int count_ = 0, capacity_ = 0;
    bool owned_ = false;
    std::vector<uintptr_t> columns_[3];
    std::unique_ptr<uintptr_t[]> lent_[3];
};

// ----- String list, word list, tag array -----------------------------------------------------

class SmallContainersHarness {
  public:
    void Step(Input& in) {
        const uint8_t op = in.Byte();
        // A run (high bit) adds many entries from a few bytes, to reach the later growth points.
        const bool run = op & 0x80;
        const int n = run ? in.Byte() : 1;
        uint8_t salt = run ? in.Byte() : 0;
        const auto byte = [&]() -> uint8_t { return run ? salt += 41 : in.Byte(); };
        const auto bytes = [&](int k) {
            uint64_t v = 0;
            while (k-- > 0)
                v = v << 8 | byte();
            return v;
        };
        for (int i = 0; i < n; ++i) {
            switch (op % 4) {
                case 0: {
                    const int len = byte() % 24;
                    std::string text(static_cast<size_t>(len), 'a');
                    for (auto& c : text)
                        c = static_cast<char>(byte() % 255 + 1);
                    const bool none = len == 23;
                    if (stringsCapacity_ == 0) {
                        stringsCapacity_ = 24;
                    } else if (int(strings_.size()) > stringsCapacity_ - 2) {
                        stringsCapacity_ += stringsCapacity_ / 2 + 24;
                    }
                    ZqXmlU_AddString(&strings, none ? nullptr : text.c_str());
                    if (!none) strings_.push_back(text);
                    break;
                }
                case 1: {
                    const uintptr_t value = bytes(4);
                    const int count = int(words_.size());
                    if (count + 2 >= wordsCapacity_) wordsCapacity_ = count + count / 4 + 32;
                    ZqXmlU_AddToList(&words, value);
                    words_.push_back(value);
                    break;
                }
                case 2: {
                    if (byte() % 4 == 0 && tags.capacity != 0) {  // the host's own column
                        const uint32_t row = byte() % tags.capacity, v = byte();
                        tags.third[row] = v;
                        tags_.third[row] = v;
                    }
                    const uint32_t first = uint32_t(bytes(4)), second = byte();
                    const uint64_t wide = bytes(8);
                    if (tags_.rows.size() == tags_.capacity) {  // full: count + capacity + 64
                        tags_.capacity = tags_.capacity == 0 ? 256 : 2 * tags_.capacity + 64;
                        tags_.third.resize(tags_.capacity, 0);
                    }
                    ZqXmlU_AugmentTags(&tags, first, second, wide, op);
                    tags_.rows.push_back({first, second, wide});
                    break;
                }
                default: {
                    const int expected = tags_.capacity * 20;
                    CHECK(ZqXmlU_ReleaseTags(&tags) == expected);
                    tags_ = Tags{};
                    break;
                }
            }
        }
        Check();
    }

    void Finish() {
        for (int i = 0; i < strings.count; ++i) {
            void* s = reinterpret_cast<void*>(strings.keys[i]);
            ZqXmlU_Free(&s);
        }
        void* keys = strings.keys;
        ZqXmlU_Free(&keys);
        keys = words.keys;
        ZqXmlU_Free(&keys);
        ZqXmlU_ReleaseTags(&tags);
    }

  private:
    struct Row {
        uint32_t first, second;
        uint64_t wide;
    };
    struct Tags {
        uint32_t capacity = 0;
        std::vector<Row> rows;
        std::vector<uint32_t> third;
    };

    void Check() const {
        CHECK(strings.count == int(strings_.size()) && strings.capacity == stringsCapacity_);
        for (int i = 0; i < strings.count; ++i) {
            const char* s = reinterpret_cast<const char*>(strings.keys[i]);
            CHECK(strings_[static_cast<size_t>(i)] == s);
            CHECK(ZqXmlU_GetUsedSpace(const_cast<char*>(s)) == std::strlen(s) + 1);
        }
        CHECK(words.count == int(words_.size()) && words.capacity == wordsCapacity_);
        CHECK(SameSlots(words.keys, words_, words.count));
        CHECK(tags.count == tags_.rows.size() && tags.capacity == tags_.capacity);
        for (uint32_t i = 0; i < tags.count; ++i) {
            const Row& r = tags_.rows[i];
            CHECK(tags.first[i] == r.first && tags.second[i] == r.second && tags.wide[i] == r.wide);
        }
        for (uint32_t i = tags.count; i < tags.capacity; ++i)  // new rows are zero
            CHECK(tags.first[i] == 0 && tags.second[i] == 0 && tags.wide[i] == 0);
        CHECK(SameSlots(tags.third, tags_.third, int(tags.capacity)));
    }

    ZQ_KWLIST_STRUCT_T strings{}, words{};
    ZQ_TAGS_STRUCT_T tags{};
    std::vector<std::string> strings_;
    std::vector<uintptr_t> words_;
    int stringsCapacity_ = 0, wordsCapacity_ = 0;
    Tags tags_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    Input in(data, size);
    KeyedHarness<ZQ_KWLIST_STRUCT_T> kw;
    KeyedHarness<ZQ_KWLIST_STRUCT_TP> p;
    KeyedHarness<ZQ_KWLIST_STRUCT_TQ> q;
    StringKeyHarness owned;
    PrefixHarness prefix;
    SmallContainersHarness small;
    kw.Start(in);
    p.Start(in);
    q.Start(in);
    prefix.Start(in);
    while (!in.Done()) {
        switch (in.Byte() % 6) {
            case 0:
                kw.Step(in);
                break;
            case 1:
                p.Step(in);
                break;
            case 2:
                q.Step(in);
                break;
            case 3:
                owned.Step(in);
                break;
            case 4:
                prefix.Step(in);
                break;
            default:
                small.Step(in);
                break;
        }
    }
    kw.Finish();
    p.Finish();
    q.Finish();
    owned.Finish();
    prefix.Finish();
    small.Finish();
    return 0;
}
