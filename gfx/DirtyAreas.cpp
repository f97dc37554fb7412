#include "gfx/DirtyAreas.h"

#include <cstddef>

namespace gfx {

namespace {

// Two areas that form one rectangle together: same left and right with
// touching or overlapping vertical ranges, or the same the other way round.
bool SharesEdge(const IArea& a, const IArea& b)
{
  if (a.Empty() || b.Empty())
    return true;
  if (a.L == b.L && a.R == b.R && a.T <= b.B && b.T <= a.B)
    return true;
  return a.T == b.T && a.B == b.B && a.L <= b.R && b.L <= a.R;
}

// Cuts x (inside r) out of r when what remains is one rectangle.
bool CutOut(IArea& r, const IArea& x)
{
  if (x.L == r.L && x.R == r.R)
  {
    if (x.T == r.T)
    {
      r.T = x.B;
      return true;
    }
    if (x.B == r.B)
    {
      r.B = x.T;
      return true;
    }
  }
  if (x.T == r.T && x.B == r.B)
  {
    if (x.L == r.L)
    {
      r.L = x.R;
      return true;
    }
    if (x.R == r.R)
    {
      r.R = x.L;
      return true;
    }
  }
  return false;
}

// Replaces areas[index] by the pieces of it outside x (inside it): full-width
// strips above and below, then the parts left and right of x.
void SplitAround(IAreaList& areas, size_t index, const IArea& x)
{
  const IArea r = areas[index];
  IAreaList pieces;
  if (x.T > r.T)
    pieces.emplace_back(r.L, r.T, r.R, x.T);
  if (x.B < r.B)
    pieces.emplace_back(r.L, x.B, r.R, r.B);
  if (x.L > r.L)
    pieces.emplace_back(r.L, x.T, x.L, x.B);
  if (x.R < r.R)
    pieces.emplace_back(x.R, x.T, r.R, x.B);
  if (pieces.empty())
    return;
  areas[index] = pieces[0];
  areas.insert(areas.end(), pieces.begin() + 1, pieces.end());
}

} // namespace

void RemoveOverdraw(IAreaList& areas)
{
  for (size_t i = 0; i < areas.size(); ++i)
  {
    for (size_t j = i + 1; j < areas.size();)
    {
      if (areas[i].Empty() || areas[j].Empty())
      {
        ++j;
        continue;
      }
      if (areas[i].Contains(areas[j]))
      {
        areas.erase(areas.begin() + static_cast<std::ptrdiff_t>(j));
        continue;
      }
      if (areas[j].Contains(areas[i]))
      {
        areas.erase(areas.begin() + static_cast<std::ptrdiff_t>(i));
        if (i >= areas.size())
          break;
        j = i + 1;
        continue;
      }
      const IArea x = areas[i].Intersect(areas[j]);
      if (x.W() > 0.f && x.H() > 0.f)
      {
        if (!CutOut(areas[i], x) && !CutOut(areas[j], x))
        {
          if (areas[j].Area() > areas[i].Area())
            SplitAround(areas, i, x);
          else
            SplitAround(areas, j, x);
        }
      }
      ++j;
    }
  }

  for (bool merged = true; merged;)
  {
    merged = false;
    for (size_t i = 0; i < areas.size() && !merged; ++i)
    {
      for (size_t j = i + 1; j < areas.size(); ++j)
      {
        if (SharesEdge(areas[i], areas[j]))
        {
          areas[j] = areas[i].Union(areas[j]);
          areas.erase(areas.begin() + static_cast<std::ptrdiff_t>(i));
          merged = true;
          break;
        }
      }
    }
  }
}

} // namespace gfx
