// A PNG of an RGB picture turned upright, written as fast as the machine allows: no row filter,
// zlib's fastest level, and the rows split into bands that are compressed at once, one per core.
#pragma once

#include <QByteArray>
#include <QImage>
#include <atomic>

#include "Orientation.h"

namespace tarvo {

// picture (QImage::Format_RGB888) with its pixels turned as orientation says, as a PNG of 8-bit
// RGB. The bands are compressed on threads of their own, in one zlib stream: each band but the
// last ends on a byte boundary with an empty stored block (a sync flush), so the next band's
// deflate output follows it as it stands, and the bands' Adler-32 sums are combined for the
// stream's end. bands 0 takes one per core. Empty when stop turns true before the end.
QByteArray UprightPng(const QImage& picture, TOrientation orientation, int bands = 0,
                      const std::atomic<bool>* stop = nullptr);

}  // namespace tarvo
