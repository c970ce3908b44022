#pragma once

// Window-frame sizes and the twip (1/1440 inch) units that window geometry is kept in.
namespace SystemMetrics {

int captionHeight(); // SM_CYCAPTION: the title bar of a child window, pixels
int borderWidth();   // SM_CXBORDER
int borderHeight();  // SM_CYBORDER

// Twips per pixel: 1440 / logical DPI (15 at 96 DPI).
double twipsPerPixelX();
double twipsPerPixelY();

// Test seam: fixed values until reset (all <= 0 to reset).
void setOverride(int caption, int borderX, int borderY, double twipsX, double twipsY);

} // namespace SystemMetrics
