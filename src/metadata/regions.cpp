// Regions: rectangles of an image as eight doubles in units of one image length, and their
// carriage through a crop.
#include <cmath>
#include <limits>

#include "frame/alloc.h"
#include "lists/sound.h"
#include "zqxmlu.h"

namespace {

// Tag of the `outside` list's arrays.
constexpr char kTagRegions[] = "zqRG";

// a / b as IEEE arithmetic gives it, also for b == 0 (an infinity of the right sign, or NaN for
// 0 / 0 and NaN operands), without dividing by zero.
double Quotient(double a, double b) {
    if (b != 0.0) return a / b;
    if (a == 0.0 || std::isnan(a)) return std::numeric_limits<double>::quiet_NaN();
    const bool negative = std::signbit(a) != std::signbit(b);
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
}

}  // namespace

double* ZQ_CALL ZqXmlU_CraftRectangleSubregion(int scale, int x1, int y1, int x2, int y2,
                                               char* tag) {
    auto* r = static_cast<double*>(zq::AllocBlock(8, sizeof(double), tag));
    const double s = scale;
    r[0] = 8.0;
    r[1] = 1.0;
    r[2] = s;
    r[3] = -1.0;
    r[4] = Quotient(x1, s);
    r[5] = Quotient(y1, s);
    r[6] = Quotient(x2, s);
    r[7] = Quotient(y2, s);
    return r;
}

int ZQ_CALL ZqXmlU_AdjustRegions(double /*unused*/, double* crop, ZQ_KWLIST_STRUCT_T* regions,
                                 ZQ_KWLIST_STRUCT_T* outside) {
    // Unsound lists, or one list passed as both, are left alone: no region is clipped when the
    // indexes of those outside could not be told.
    if (!crop || !zq::SoundList(regions) || outside == regions ||
        (outside && !zq::SoundList(outside))) {
        return 0;
    }
    const double l = crop[0], t = crop[1], r = crop[2], b = crop[3];
    const double w = r - l;
    for (int i = 0; i < regions->count; ++i) {
        auto* R = reinterpret_cast<double*>(regions->keys[i]);
        if (!R) continue;
        // Edges that touch the crop count as outside.
        const bool out = (l >= R[4] && l >= R[6]) || (r <= R[4] && r <= R[6]) ||
                         (t >= R[5] && t >= R[7]) || (b <= R[5] && b <= R[7]);
        if (out) {
            if (outside) ZqXmlU_ModifyKwList(outside, static_cast<uintptr_t>(i), 0, 5, kTagRegions);
            continue;
        }
        if (l > R[4]) R[4] = l;
        if (t > R[5]) R[5] = t;
        if (r < R[6]) R[6] = r;
        if (b < R[7]) R[7] = b;
        // Both axes are divided by the crop's width: the array keeps a single scale.
        R[4] = Quotient(R[4] - l, w);
        R[5] = Quotient(R[5] - t, w);
        R[6] = Quotient(R[6] - l, w);
        R[7] = Quotient(R[7] - t, w);
    }
    return 0;
}
