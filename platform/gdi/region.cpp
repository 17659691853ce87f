#include "platform/gdi/region.h"

#include <mutex>

namespace platform {
namespace {

struct UnionFailure {
  std::mutex mutex;
  std::function<bool()> fails;
};

UnionFailure& TheUnionFailure() {
  static UnionFailure failure;
  return failure;
}

bool UnionFails() {
  UnionFailure& failure = TheUnionFailure();
  std::lock_guard<std::mutex> lock(failure.mutex);
  return failure.fails && failure.fails();
}

}  // namespace

bool UniteRegions(const Region& a, const Region& b, Region* result) {
  if (UnionFails()) return false;
  Region united = a;
  united.shapes.insert(united.shapes.end(), b.shapes.begin(), b.shapes.end());
  *result = std::move(united);
  return true;
}

void SetRegionUnionFailure(std::function<bool()> fails) {
  UnionFailure& failure = TheUnionFailure();
  std::lock_guard<std::mutex> lock(failure.mutex);
  failure.fails = std::move(fails);
}

}  // namespace platform
