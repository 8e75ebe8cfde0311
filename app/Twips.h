#pragma once

#include <QLatin1String>

// Control positions are written in twips, 1/1440 inch: 15 twips make one logical pixel.
namespace Twips {

constexpr int kPerPixel = 15;

constexpr int pixels(int twips)
{
    return (twips + kPerPixel / 2) / kPerPixel;
}

// Names a control and sets its geometry from twips, relative to its parent.
template <typename W> W *place(W *widget, const char *name, int left, int top, int width, int height)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(pixels(left), pixels(top), pixels(width), pixels(height));
    return widget;
}

} // namespace Twips
