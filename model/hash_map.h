// The chained hash map shared by the renderer caches and the mesh vertex-weld
// map. Keys are hashed by their bytes (Fletcher-32 over little-endian 16-bit
// words, times a prime, masked to a power-of-two table). Equal keys may be
// inserted more than once; each insert appends a node at its chain's tail.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

// Default key equality: the key's bytes.
template <class K>
struct BytewiseEqual {
  bool operator()(const K& a, const K& b) const { return std::memcmp(&a, &b, sizeof(K)) == 0; }
};

// Fletcher-32 over `bytes` read as little-endian 16-bit words.
inline uint32_t fletcher32(const unsigned char* bytes, int words) {
  uint32_t a = 0xFFFF, b = 0xFFFF;
  while (words > 0) {
    int block = words > 360 ? 360 : words;
    words -= block;
    for (int i = 0; i < block; ++i, bytes += 2) {
      a += static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8);
      b += a;
    }
    a = (a & 0xFFFF) + (a >> 16);
    b = (b & 0xFFFF) + (b >> 16);
  }
  a = (a & 0xFFFF) + (a >> 16);
  b = (b & 0xFFFF) + (b >> 16);
  return (b << 16) | a;
}

// The multiplier table: the first prime not below the bucket count is used.
inline uint32_t hashPrimeFor(int bucketCount) {
  static const uint32_t primes[26] = {53,        97,        193,       389,       769,       1543,     3079,
                                      6151,      12289,     24593,     49157,     98317,     196613,   393241,
                                      786433,    1572869,   3145739,   6291469,   12582917,  25165843, 50331653,
                                      100663319, 201326611, 402653189, 805306457, 1610612741};
  for (uint32_t p : primes)
    if (p >= static_cast<uint32_t>(bucketCount)) return p;
  return primes[25];
}

// The caches' hash: Fletcher-32 of the key's bytes.
template <class K>
struct FletcherHash {
  uint32_t operator()(const K& key) const {
    unsigned char bytes[sizeof(K)];
    std::memcpy(bytes, &key, sizeof(K));
    return fletcher32(bytes, static_cast<int>(sizeof(K) / 2));
  }
};

// Mixes every bit of a key made of 32-bit words (ids, pointers), so chains
// stay short whatever the numbering.
template <class K>
struct WordMixHash {
  static_assert(sizeof(K) % sizeof(uint32_t) == 0, "keys are mixed as 32-bit words");
  uint32_t operator()(const K& k) const {
    uint32_t words[sizeof(K) / sizeof(uint32_t)];
    std::memcpy(words, &k, sizeof words);
    uint64_t h = 0;
    for (uint32_t w : words) {
      h = (h ^ w) * 0x9E3779B97F4A7C15ull;
      h ^= h >> 29;
    }
    h ^= h >> 32;
    return static_cast<uint32_t>(h);
  }
};

// The bucket is (hash x multiplier) masked to the table, so only the low
// bits of the hash choose it. Fletcher-32's low half is a plain sum of the
// key's words; keys with much structure (grid positions) need a Hash that
// mixes every bit into the low ones.
template <class K, class V, class Eq = BytewiseEqual<K>, class Hash = FletcherHash<K>>
class HashMap {
  static_assert(std::is_trivially_copyable<K>::value, "keys are hashed by their bytes");
  static_assert(sizeof(K) % 2 == 0, "keys are hashed as 16-bit words");

 public:
  struct Node {
    K key;
    V value;
    Node* next;
  };

  static constexpr int kInitialBuckets = 32;

  HashMap() = default;
  // A map that starts with at least initialBuckets buckets (a power of two).
  explicit HashMap(int initialBuckets) {
    while (initialBuckets_ < initialBuckets && initialBuckets_ < (1 << 30)) initialBuckets_ *= 2;
  }
  HashMap(const HashMap&) = delete;
  HashMap& operator=(const HashMap&) = delete;
  ~HashMap() { clear(); }

  // Appends a new node for key (no check for an existing one; look up
  // first) and returns its value for the caller to fill; null when out of memory.
  V* insert(const K& key) {
    if (!buckets_) {
      if (!allocateBuckets(initialBuckets_)) return nullptr;
    } else if (occupied_ * 4 > bucketCount_ * 3) {
      grow();
    }
    Node* node = new (std::nothrow) Node{key, V(), nullptr};
    if (!node) return nullptr;
    link(node);
    ++count_;
    return &node->value;
  }

  // The first node of key's chain with an equal key, or null. Its `next`
  // walks on through the rest of the chain (other keys included).
  Node* findNode(const K& key) const {
    if (!buckets_) return nullptr;
    for (Node* n = buckets_[bucketOf(key)]; n; n = n->next)
      if (eq_(n->key, key)) return n;
    return nullptr;
  }

  V* find(const K& key) const {
    Node* n = findNode(key);
    return n ? &n->value : nullptr;
  }

  // Removes the first node with key; false when there is none.
  bool remove(const K& key) {
    if (!buckets_) return false;
    int b = bucketOf(key);
    for (Node** slot = &buckets_[b]; *slot; slot = &(*slot)->next) {
      if (!eq_((*slot)->key, key)) continue;
      Node* dead = *slot;
      *slot = dead->next;
      delete dead;
      --count_;
      if (!buckets_[b]) --occupied_;
      return true;
    }
    return false;
  }

  // Calls f(key, value) for every node in bucket order, chains front to back.
  template <class F>
  void forEach(F&& f) const {
    for (int i = 0; i < bucketCount_; ++i)
      for (Node* n = buckets_[i]; n; n = n->next) f(n->key, n->value);
  }

  // Calls f(value) for every node and frees it; the bucket array stays.
  template <class F>
  void drain(F&& f) {
    for (int i = 0; i < bucketCount_; ++i) {
      Node* n = buckets_[i];
      buckets_[i] = nullptr;
      while (n) {
        Node* next = n->next;
        f(n->value);
        delete n;
        n = next;
      }
    }
    count_ = 0;
    occupied_ = 0;
  }

  // Frees every node and the buckets: back to the state of a new map.
  void clear() {
    drain([](V&) {});
    delete[] buckets_;
    buckets_ = nullptr;
    bucketCount_ = 0;
    multiplier_ = 1;
  }

  static uint32_t hashKey(const K& key) { return Hash()(key); }

  int count() const { return count_; }
  int occupiedBuckets() const { return occupied_; }
  int bucketCount() const { return bucketCount_; }
  uint32_t multiplier() const { return multiplier_; }

 private:
  int bucketOf(const K& key) const {
    return static_cast<int>((hashKey(key) * multiplier_) & static_cast<uint32_t>(bucketCount_ - 1));
  }

  void selectPrime() { multiplier_ = hashPrimeFor(bucketCount_); }

  bool allocateBuckets(int n) {
    Node** b = new (std::nothrow) Node*[n]();
    if (!b) return false;
    buckets_ = b;
    bucketCount_ = n;
    occupied_ = 0;
    selectPrime();
    return true;
  }

  void link(Node* node) {
    node->next = nullptr;
    Node** slot = &buckets_[bucketOf(node->key)];
    if (!*slot) ++occupied_;
    while (*slot) slot = &(*slot)->next;
    *slot = node;
  }

  // Doubles the table and re-links every node in old bucket order. When the
  // bigger table cannot be had, the old one keeps serving (longer chains).
  void grow() {
    Node** old = buckets_;
    int oldCount = bucketCount_;
    if (!allocateBuckets(oldCount * 2)) return;
    for (int i = 0; i < oldCount; ++i) {
      Node* n = old[i];
      while (n) {
        Node* next = n->next;
        link(n);
        n = next;
      }
    }
    delete[] old;
  }

  Node** buckets_ = nullptr;
  int count_ = 0;
  int occupied_ = 0;
  int bucketCount_ = 0;
  int initialBuckets_ = kInitialBuckets;
  uint32_t multiplier_ = 1;
  Eq eq_;
};
