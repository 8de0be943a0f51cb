#pragma once
// A photo-like picture for the benchmarks: smooth gradients under noise, so that its JPEG
// has a photo's entropy and a decode does a photo's work.

#include <QImage>

#include <random>

inline QImage photoLike(int width, int height, int seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int n = static_cast<int>(rng() % 24);
            line[x] = qRgb((x * 255 / width + n) % 256, (y * 255 / height + n) % 256, ((x + y + seed * 40) / 7 + n) % 256);
        }
    }
    return image;
}
