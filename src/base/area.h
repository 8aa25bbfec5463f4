// Integer points and rectangles (right and bottom exclusive).
#pragma once

#include <algorithm>
#include <cstdint>

class TPnt {
public:
  constexpr TPnt() = default;
  constexpr TPnt(int32_t x, int32_t y) : x_(x), y_(y) {}
  constexpr bool operator==(const TPnt& o) const { return x_ == o.x_ && y_ == o.y_; }
  constexpr bool operator!=(const TPnt& o) const { return !(*this == o); }
  constexpr int32_t X() const { return x_; }
  constexpr int32_t Y() const { return y_; }
  void SetX(int32_t x) { x_ = x; }
  void SetY(int32_t y) { y_ = y; }
  void Set(int32_t x, int32_t y) { x_ = x; y_ = y; }
  void MoveX(int32_t dx) { x_ += dx; }
  void MoveY(int32_t dy) { y_ += dy; }
  TPnt& operator+=(const TPnt& o) { x_ += o.x_; y_ += o.y_; return *this; }

private:
  int32_t x_ = 0;
  int32_t y_ = 0;
};

class TArea {
public:
  constexpr TArea() = default;
  constexpr TArea(int32_t l, int32_t t, int32_t r, int32_t b) : left_(l), top_(t), right_(r), bottom_(b) {}
  constexpr TArea(const TPnt& tl, const TPnt& br) : left_(tl.X()), top_(tl.Y()), right_(br.X()), bottom_(br.Y()) {}

  constexpr bool operator==(const TArea& o) const {
    return left_ == o.left_ && top_ == o.top_ && right_ == o.right_ && bottom_ == o.bottom_;
  }
  constexpr bool operator!=(const TArea& o) const { return !(*this == o); }

  constexpr int32_t Left() const { return left_; }
  constexpr int32_t Top() const { return top_; }
  constexpr int32_t Right() const { return right_; }
  constexpr int32_t Bottom() const { return bottom_; }
  void SetLeft(int32_t v) { left_ = v; }
  void SetTop(int32_t v) { top_ = v; }
  void SetRight(int32_t v) { right_ = v; }
  void SetBottom(int32_t v) { bottom_ = v; }
  constexpr TPnt TopLeft() const { return TPnt(left_, top_); }
  constexpr TPnt BottomRight() const { return TPnt(right_, bottom_); }
  void SetTopLeft(const TPnt& p) { left_ = p.X(); top_ = p.Y(); }
  void SetTopLeft(int32_t x, int32_t y) { left_ = x; top_ = y; }
  void SetBottomRight(const TPnt& p) { right_ = p.X(); bottom_ = p.Y(); }
  void SetBottomRight(int32_t x, int32_t y) { right_ = x; bottom_ = y; }
  void Set(int32_t l, int32_t t, int32_t r, int32_t b) { left_ = l; top_ = t; right_ = r; bottom_ = b; }
  void Set(const TPnt& tl, const TPnt& br) { SetTopLeft(tl); SetBottomRight(br); }
  void MoveH(int32_t d) { left_ += d; right_ += d; }
  void MoveV(int32_t d) { top_ += d; bottom_ += d; }
  TArea& operator+=(const TPnt& p) { MoveH(p.X()); MoveV(p.Y()); return *this; }
  void MoveLeftTo(int32_t x) { MoveH(x - left_); }
  void MoveTopTo(int32_t y) { MoveV(y - top_); }
  void MoveTo(const TPnt& p) { MoveLeftTo(p.X()); MoveTopTo(p.Y()); }

  // Computed in 64 bits: the fields hold what was set, even the sentinel NoArea.
  constexpr int32_t Width() const { int64_t w = int64_t(right_) - left_; return w >= 1 ? int32_t(std::min<int64_t>(w, INT32_MAX)) : 0; }
  constexpr int32_t Height() const { int64_t h = int64_t(bottom_) - top_; return h >= 1 ? int32_t(std::min<int64_t>(h, INT32_MAX)) : 0; }
  void SetWidth(int32_t w) { right_ = left_ + w; }
  void SetHeight(int32_t h) { bottom_ = top_ + h; }
  void Clear() { Set(0, 0, 0, 0); }
  constexpr bool IsEmpty() const { return Width() == 0 || Height() == 0; }
  constexpr bool Contains(const TPnt& p) const {
    return left_ <= p.X() && p.X() < right_ && top_ <= p.Y() && p.Y() < bottom_;
  }
  constexpr bool Intersects(const TArea& b) const {
    if (IsEmpty() || b.IsEmpty()) return false;
    return left_ < b.right_ && b.left_ < right_ && top_ < b.bottom_ && b.top_ < bottom_;
  }
  void Intersect(const TArea& o);
  void Unite(const TArea& o);
  void Include(const TPnt& p);
  static TArea Intersection(TArea a, const TArea& b) { a.Intersect(b); return a; }
  static TArea Union(TArea a, const TArea& b) { a.Unite(b); return a; }
  static TArea WithPoint(TArea a, const TPnt& p) { a.Include(p); return a; }

private:
  int32_t left_ = 0;
  int32_t top_ = 0;
  int32_t right_ = 0;
  int32_t bottom_ = 0;
};

inline constexpr TPnt NoPnt{-1073741824, -1073741824};
inline constexpr TPnt ZeroPnt{0, 0};
inline constexpr TPnt MaxPnt{1073741823, 1073741823};
inline constexpr TArea NoArea{INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN};
inline constexpr TArea EmptyArea{0, 0, 0, 0};
inline constexpr TArea MaxArea{-1073741824, -1073741824, 1073741823, 1073741823};

inline void TArea::Intersect(const TArea& o) {
  if (o.IsEmpty()) return;
  if (IsEmpty()) { *this = o; return; }
  left_ = std::max(left_, o.left_);
  top_ = std::max(top_, o.top_);
  right_ = std::min(right_, o.right_);
  bottom_ = std::min(bottom_, o.bottom_);
}

inline void TArea::Unite(const TArea& o) {
  if (o.IsEmpty()) return;
  if (IsEmpty()) { *this = o; return; }
  left_ = std::min(left_, o.left_);
  top_ = std::min(top_, o.top_);
  right_ = std::max(right_, o.right_);
  bottom_ = std::max(bottom_, o.bottom_);
}

inline void TArea::Include(const TPnt& p) {
  if (p == NoPnt) return;
  if (IsEmpty()) { Set(p.X(), p.Y(), p.X() + 1, p.Y() + 1); return; }
  left_ = std::min(left_, p.X());
  top_ = std::min(top_, p.Y());
  right_ = std::max(right_, p.X() + 1);
  bottom_ = std::max(bottom_, p.Y() + 1);
}
