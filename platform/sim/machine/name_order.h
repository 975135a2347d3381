// Names compared the way Windows compares registry and file names: without regard
// to ASCII letter case. OrderedNameMap keeps its entries in that order and answers
// "the entry at index i" in logarithmic time, which RegEnumKeyA, RegEnumValueA and
// directory enumeration need on large keys and folders.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/sim/machine/block_pool.h"

namespace sim {

inline unsigned char UpperAscii(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 0x20) : c;
}

// <0, 0, >0 like strcmp, after folding a-z to A-Z.
inline int CompareNames(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char ca = UpperAscii(static_cast<unsigned char>(a[i]));
    const unsigned char cb = UpperAscii(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

inline bool NamesEqual(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareNames(a, b) == 0;
}

struct NameLess {
  bool operator()(std::string_view a, std::string_view b) const { return CompareNames(a, b) < 0; }
};

// Stamps of OrderedNameMap's shape: every insert or erase, in any map, takes the
// next one, so a stamp names one shape of one map for good.
inline std::atomic<uint64_t> g_nameMapShapes{0};

// A map from case-insensitive names to values of T, with order statistics.
// The stored name keeps the letter case it was inserted with. Besides its
// tree, the map links its entries in name order, so that walks in order (by
// index, or from one name to the next) take one step per entry through a
// Cursor while the map keeps its shape.
template <typename T>
class OrderedNameMap {
  struct Node;

 public:
  // Where a walk stands: the entry it reached last. It serves the next call only
  // while no entry was inserted or erased meanwhile; otherwise that call looks
  // its entry up from the top, as it would without a cursor.
  class Cursor {
   private:
    friend class OrderedNameMap;
    Node* node_ = nullptr;
    size_t index_ = 0;  // of node_, or kNoIndex
    uint64_t shape_ = 0;
  };

  OrderedNameMap() = default;
  OrderedNameMap(const OrderedNameMap&) = delete;
  OrderedNameMap& operator=(const OrderedNameMap&) = delete;
  OrderedNameMap(OrderedNameMap&& other) noexcept { Take(other); }
  OrderedNameMap& operator=(OrderedNameMap&& other) noexcept {
    if (this != &other) {
      Clear();
      Take(other);
    }
    return *this;
  }
  ~OrderedNameMap() { Clear(); }

  size_t Size() const { return Count(root_.get()); }
  bool Empty() const { return !root_; }

  T* Find(std::string_view name) {
    Node* n = root_.get();
    while (n) {
      const int c = CompareNames(name, n->name);
      if (c == 0) return &n->value;
      n = c < 0 ? n->left.get() : n->right.get();
    }
    return nullptr;
  }
  const T* Find(std::string_view name) const {
    return const_cast<OrderedNameMap*>(this)->Find(name);
  }
  // The same, first trying the entry a walk stands on: a caller that enumerates
  // entries and then looks each one up by name finds it there.
  T* Find(std::string_view name, const Cursor* hint) {
    if (hint && hint->shape_ == shape_ && hint->node_ && NamesEqual(hint->node_->name, name))
      return &hint->node_->value;
    return Find(name);
  }

  // The stored spelling of a name, or nullptr.
  const std::string* StoredName(std::string_view name) const {
    const Node* n = root_.get();
    while (n) {
      const int c = CompareNames(name, n->name);
      if (c == 0) return &n->name;
      n = c < 0 ? n->left.get() : n->right.get();
    }
    return nullptr;
  }

  // Inserts or replaces. A replaced entry keeps its stored spelling.
  T& Put(std::string_view name, T value) {
    Links links;
    root_ = Insert(std::move(root_), name, value, &links);
    if (links.fresh) Link(links);
    return links.slot->value;
  }

  bool Erase(std::string_view name) {
    Node* before = nullptr;
    Node* erased = nullptr;
    root_ = EraseFrom(std::move(root_), name, &before, &erased);
    return erased != nullptr;
  }

  // The entry at a position of the name order, or null past the end.
  std::pair<const std::string*, T*> At(size_t index, Cursor* cursor = nullptr) {
    Node* n = nullptr;
    if (cursor && cursor->shape_ == shape_ && cursor->node_ && cursor->index_ != kNoIndex &&
        (index == cursor->index_ || index == cursor->index_ + 1)) {
      n = index == cursor->index_ ? cursor->node_ : cursor->node_->next;
    } else if (index == 0) {
      n = first_;
    } else {
      n = NodeAt(index);
    }
    if (cursor && n) *cursor = Here(n, index);
    return Entry(n);
  }
  std::pair<const std::string*, const T*> At(size_t index) const {
    auto r = const_cast<OrderedNameMap*>(this)->At(index);
    return {r.first, r.second};
  }

  // The first entry whose name sorts after `name` (which need not be stored), or
  // null past the end.
  std::pair<const std::string*, T*> FirstAfter(std::string_view name, Cursor* cursor = nullptr) {
    Node* n = nullptr;
    if (cursor && cursor->shape_ == shape_ && cursor->node_ &&
        NamesEqual(cursor->node_->name, name)) {
      n = cursor->node_->next;
    } else {
      for (Node* at = root_.get(); at;) {
        if (CompareNames(name, at->name) < 0) {
          n = at;
          at = at->left.get();
        } else {
          at = at->right.get();
        }
      }
    }
    if (cursor && n) *cursor = Here(n, kNoIndex);
    return Entry(n);
  }

  // Visits every entry in name order: fn(const std::string& name, T& value).
  template <typename Fn>
  void ForEach(Fn&& fn) {
    for (Node* n = first_; n; n = n->next) fn(static_cast<const std::string&>(n->name), n->value);
  }
  template <typename Fn>
  void ForEach(Fn&& fn) const {
    for (const Node* n = first_; n; n = n->next) fn(n->name, static_cast<const T&>(n->value));
  }

  void Clear() {
    // Iterative teardown: a deep degenerate tree must not overflow the stack.
    std::unique_ptr<Node> pending = std::move(root_);
    while (pending) {
      if (pending->left) {
        std::unique_ptr<Node> l = std::move(pending->left);
        pending->left = std::move(l->right);
        l->right = std::move(pending);
        pending = std::move(l);
      } else {
        pending = std::move(pending->right);
      }
    }
    first_ = nullptr;
    shape_ = NextShape();
  }

 private:
  static constexpr size_t kNoIndex = ~size_t{0};

  struct Node {
    static void* operator new(size_t) { return BlockPool<sizeof(Node)>::Allocate(); }
    static void operator delete(void* node) { BlockPool<sizeof(Node)>::Release(node); }

    std::string name;
    T value{};
    uint32_t priority = 0;
    size_t count = 1;
    std::unique_ptr<Node> left, right;
    Node* next = nullptr;  // the following entry in name order
  };

  // What an insertion found or made, and the entries around a new one.
  struct Links {
    Node* slot = nullptr;
    bool fresh = false;
    Node* before = nullptr;
    Node* after = nullptr;
  };

  static uint64_t NextShape() { return ++g_nameMapShapes; }

  static size_t Count(const Node* n) { return n ? n->count : 0; }
  static void Update(Node* n) { n->count = 1 + Count(n->left.get()) + Count(n->right.get()); }
  static std::pair<const std::string*, T*> Entry(Node* n) {
    if (!n) return {nullptr, nullptr};
    return {&n->name, &n->value};
  }
  Cursor Here(Node* n, size_t index) const {
    Cursor c;
    c.node_ = n;
    c.index_ = index;
    c.shape_ = shape_;
    return c;
  }

  void Take(OrderedNameMap& other) {
    root_ = std::move(other.root_);
    first_ = other.first_;
    shape_ = other.shape_;
    seed_ = other.seed_;
    other.first_ = nullptr;
    other.shape_ = NextShape();
  }

  Node* NodeAt(size_t index) const {
    Node* n = root_.get();
    while (n) {
      const size_t left = Count(n->left.get());
      if (index < left) {
        n = n->left.get();
      } else if (index == left) {
        return n;
      } else {
        index -= left + 1;
        n = n->right.get();
      }
    }
    return nullptr;
  }

  void Link(const Links& links) {
    links.slot->next = links.after;
    if (links.before) {
      links.before->next = links.slot;
    } else {
      first_ = links.slot;
    }
    shape_ = NextShape();
  }

  uint32_t NextPriority() {
    // xorshift: deterministic, so a machine behaves the same on every run.
    seed_ ^= seed_ << 13;
    seed_ ^= seed_ >> 17;
    seed_ ^= seed_ << 5;
    return seed_;
  }

  static std::unique_ptr<Node> RotateRight(std::unique_ptr<Node> n) {
    std::unique_ptr<Node> l = std::move(n->left);
    n->left = std::move(l->right);
    Update(n.get());
    l->right = std::move(n);
    Update(l.get());
    return l;
  }
  static std::unique_ptr<Node> RotateLeft(std::unique_ptr<Node> n) {
    std::unique_ptr<Node> r = std::move(n->right);
    n->right = std::move(r->left);
    Update(n.get());
    r->left = std::move(n);
    Update(r.get());
    return r;
  }

  // One descent: replaces the value of an entry of that name, or adds one, noting
  // the entries it goes between.
  std::unique_ptr<Node> Insert(std::unique_ptr<Node> n, std::string_view name, T& value,
                               Links* links) {
    if (!n) {
      auto fresh = std::make_unique<Node>();
      fresh->name = std::string(name);
      fresh->value = std::move(value);
      fresh->priority = NextPriority();
      links->slot = fresh.get();
      links->fresh = true;
      return fresh;
    }
    const int c = CompareNames(name, n->name);
    if (c == 0) {
      n->value = std::move(value);
      links->slot = n.get();
      return n;
    }
    if (c < 0) {
      links->after = n.get();
      n->left = Insert(std::move(n->left), name, value, links);
      if (!links->fresh) return n;
      Update(n.get());
      if (n->left->priority > n->priority) n = RotateRight(std::move(n));
    } else {
      links->before = n.get();
      n->right = Insert(std::move(n->right), name, value, links);
      if (!links->fresh) return n;
      Update(n.get());
      if (n->right->priority > n->priority) n = RotateLeft(std::move(n));
    }
    return n;
  }

  // Takes the entry of that name out of the tree and out of the order; `before`
  // tracks the entry in front of it.
  std::unique_ptr<Node> EraseFrom(std::unique_ptr<Node> n, std::string_view name, Node** before,
                                  Node** erased) {
    if (!n) return n;
    const int c = CompareNames(name, n->name);
    if (c < 0) {
      n->left = EraseFrom(std::move(n->left), name, before, erased);
    } else if (c > 0) {
      *before = n.get();
      n->right = EraseFrom(std::move(n->right), name, before, erased);
    } else {
      *erased = n.get();
      if (n->left) {
        *before = n->left.get();
        while ((*before)->right) *before = (*before)->right.get();
      }
      if (*before) {
        (*before)->next = n->next;
      } else {
        first_ = n->next;
      }
      shape_ = NextShape();
      return Merge(std::move(n->left), std::move(n->right));
    }
    if (*erased) Update(n.get());
    return n;
  }

  static std::unique_ptr<Node> Merge(std::unique_ptr<Node> a, std::unique_ptr<Node> b) {
    if (!a) return b;
    if (!b) return a;
    if (a->priority > b->priority) {
      a->right = Merge(std::move(a->right), std::move(b));
      Update(a.get());
      return a;
    }
    b->left = Merge(std::move(a), std::move(b->left));
    Update(b.get());
    return b;
  }

  std::unique_ptr<Node> root_;
  Node* first_ = nullptr;  // the first entry in name order
  uint64_t shape_ = NextShape();
  uint32_t seed_ = 2463534242u;
};

}  // namespace sim
