// Regions: areas made of rectangles, ellipses and polygons and their unions, as GDI combines
// them. The window system turns them into pixels when they are filled, framed or given to a
// window as its shape.
#pragma once

#include <functional>
#include <vector>

#include "platform/kernel/geometry.h"

namespace platform {

struct RegionShape {
  enum class Kind { Rect, Ellipse, Polygon };
  Kind kind = Kind::Rect;
  RECT box = {0, 0, 0, 0};    // of a rectangle or the ellipse inscribed in it
  std::vector<POINT> points;  // of a polygon, filled by the alternate rule
};

// The union of its shapes; an empty list is an empty region.
struct Region {
  std::vector<RegionShape> shapes;
};

// The union of two regions into `result`; false when it cannot be formed.
bool UniteRegions(const Region& a, const Region& b, Region* result);

// For tests: decides whether the next unions fail, as GDI's can when memory runs out. An
// empty function lets every union succeed again.
void SetRegionUnionFailure(std::function<bool()> fails);

}  // namespace platform
