// Names compared the way Windows compares registry and file names: without regard
// to ASCII letter case. OrderedNameMap keeps its entries in that order and answers
// "the entry at index i" in logarithmic time, which RegEnumKeyA, RegEnumValueA and
// directory enumeration need on large keys and folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <utility>

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

// A map from case-insensitive names to values of T, with order statistics.
// The stored name keeps the letter case it was inserted with.
template <typename T>
class OrderedNameMap {
 public:
  OrderedNameMap() = default;
  OrderedNameMap(const OrderedNameMap&) = delete;
  OrderedNameMap& operator=(const OrderedNameMap&) = delete;
  OrderedNameMap(OrderedNameMap&&) noexcept = default;
  OrderedNameMap& operator=(OrderedNameMap&&) noexcept = default;
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
    if (T* existing = Find(name)) {
      *existing = std::move(value);
      return *existing;
    }
    T* slot = nullptr;
    root_ = Insert(std::move(root_), std::string(name), std::move(value), NextPriority(), &slot);
    return *slot;
  }

  bool Erase(std::string_view name) {
    bool erased = false;
    root_ = EraseFrom(std::move(root_), name, &erased);
    return erased;
  }

  // The entry at a position of the name order, or null past the end.
  std::pair<const std::string*, T*> At(size_t index) {
    Node* n = root_.get();
    while (n) {
      const size_t left = Count(n->left.get());
      if (index < left) {
        n = n->left.get();
      } else if (index == left) {
        return {&n->name, &n->value};
      } else {
        index -= left + 1;
        n = n->right.get();
      }
    }
    return {nullptr, nullptr};
  }
  std::pair<const std::string*, const T*> At(size_t index) const {
    auto r = const_cast<OrderedNameMap*>(this)->At(index);
    return {r.first, r.second};
  }

  // Visits every entry in name order: fn(const std::string& name, T& value).
  template <typename Fn>
  void ForEach(Fn&& fn) {
    Visit(root_.get(), fn);
  }
  template <typename Fn>
  void ForEach(Fn&& fn) const {
    VisitConst(root_.get(), fn);
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
  }

 private:
  struct Node {
    std::string name;
    T value{};
    uint32_t priority = 0;
    size_t count = 1;
    std::unique_ptr<Node> left, right;
  };

  static size_t Count(const Node* n) { return n ? n->count : 0; }
  static void Update(Node* n) { n->count = 1 + Count(n->left.get()) + Count(n->right.get()); }

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

  static std::unique_ptr<Node> Insert(std::unique_ptr<Node> n, std::string name, T value,
                                      uint32_t priority, T** slot) {
    if (!n) {
      auto fresh = std::make_unique<Node>();
      fresh->name = std::move(name);
      fresh->value = std::move(value);
      fresh->priority = priority;
      *slot = &fresh->value;
      return fresh;
    }
    if (CompareNames(name, n->name) < 0) {
      n->left = Insert(std::move(n->left), std::move(name), std::move(value), priority, slot);
      Update(n.get());
      if (n->left->priority > n->priority) n = RotateRight(std::move(n));
    } else {
      n->right = Insert(std::move(n->right), std::move(name), std::move(value), priority, slot);
      Update(n.get());
      if (n->right->priority > n->priority) n = RotateLeft(std::move(n));
    }
    return n;
  }

  static std::unique_ptr<Node> EraseFrom(std::unique_ptr<Node> n, std::string_view name,
                                         bool* erased) {
    if (!n) return n;
    const int c = CompareNames(name, n->name);
    if (c < 0) {
      n->left = EraseFrom(std::move(n->left), name, erased);
    } else if (c > 0) {
      n->right = EraseFrom(std::move(n->right), name, erased);
    } else {
      *erased = true;
      return Merge(std::move(n->left), std::move(n->right));
    }
    Update(n.get());
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

  template <typename Fn>
  static void Visit(Node* n, Fn& fn) {
    // Treap depth is logarithmic with overwhelming probability; recursion is fine.
    if (!n) return;
    Visit(n->left.get(), fn);
    fn(static_cast<const std::string&>(n->name), n->value);
    Visit(n->right.get(), fn);
  }
  template <typename Fn>
  static void VisitConst(const Node* n, Fn& fn) {
    if (!n) return;
    VisitConst(n->left.get(), fn);
    fn(n->name, static_cast<const T&>(n->value));
    VisitConst(n->right.get(), fn);
  }

  std::unique_ptr<Node> root_;
  uint32_t seed_ = 2463534242u;
};

}  // namespace sim
