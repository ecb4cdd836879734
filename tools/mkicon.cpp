// Draws the build's icons and writes them as .ico files.
//
//     mkicon installer|app OUT
//
// "installer": a blue rounded square with a white brush stroke (the
// installer's icon 104). "app": a green rounded square with a white page
// (the demo program). Each file holds a 32 x 32 and a 16 x 16 image, both
// 32-bit BGRA with an AND mask, so systems that ignore the alpha channel
// still cut the rounded corners out by the mask.
//
// The shapes are described in unit coordinates and sampled 4 x 4 times per
// pixel, which gives the edges soft alpha at both sizes from one
// description; there is no randomness, so the files are the same on every
// build.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

static const int kSubsamples = 4;

struct Colour {
    double b, g, r;  // 0..1
};

// A design answers, for a point of the unit square (y downwards), whether
// it is covered and with which colour.
typedef bool (*DesignSample)(double x, double y, Colour &colour);

// Signed distance from (x, y) to a rounded rectangle; negative inside.
static double RoundedRectDistance(double x, double y, double left, double top, double right, double bottom,
                                  double radius)
{
    double cx = (left + right) / 2, cy = (top + bottom) / 2;
    double hx = (right - left) / 2 - radius, hy = (bottom - top) / 2 - radius;
    double dx = std::fabs(x - cx) - hx, dy = std::fabs(y - cy) - hy;
    double outside = std::hypot(std::fmax(dx, 0.0), std::fmax(dy, 0.0));
    return outside + std::fmin(std::fmax(dx, dy), 0.0) - radius;
}

// True when (x, y) lies on a brush stroke: a quadratic curve whose width
// swells from a fine start to a broad middle and tapers again, as a
// calligraphy brush leaves it.
static bool OnBrushStroke(double x, double y)
{
    const double x0 = 0.24, y0 = 0.74, x1 = 0.38, y1 = 0.22, x2 = 0.80, y2 = 0.30;
    const int steps = 96;
    for (int i = 0; i <= steps; i++) {
        double t = (double)i / steps;
        double u = 1 - t;
        double px = u * u * x0 + 2 * u * t * x1 + t * t * x2;
        double py = u * u * y0 + 2 * u * t * y1 + t * t * y2;
        double halfWidth = 0.025 + 0.085 * std::sin(3.14159265358979 * std::pow(t, 0.8));
        if (std::hypot(x - px, y - py) <= halfWidth)
            return true;
    }
    return false;
}

static bool InstallerDesign(double x, double y, Colour &colour)
{
    if (RoundedRectDistance(x, y, 0.03, 0.03, 0.97, 0.97, 0.20) > 0)
        return false;
    if (OnBrushStroke(x, y)) {
        colour = Colour{1.0, 1.0, 1.0};
        return true;
    }
    // Lighter at the top, as if lit from above.
    colour = Colour{0.92 - 0.20 * y, 0.55 - 0.25 * y, 0.20 - 0.10 * y};
    return true;
}

static bool AppDesign(double x, double y, Colour &colour)
{
    if (RoundedRectDistance(x, y, 0.03, 0.03, 0.97, 0.97, 0.20) > 0)
        return false;
    bool onPage = x >= 0.27 && x <= 0.73 && y >= 0.18 && y <= 0.82 && !(x > 0.60 && y < 0.18 + (x - 0.60));
    if (onPage) {
        bool onLine = x >= 0.34 && x <= 0.66 && (std::fmod(y - 0.36, 0.12) < 0.05) && y >= 0.36 && y <= 0.74;
        colour = onLine ? Colour{0.35, 0.55, 0.20} : Colour{1.0, 1.0, 1.0};
        return true;
    }
    colour = Colour{0.30 - 0.10 * y, 0.68 - 0.20 * y, 0.22 - 0.08 * y};
    return true;
}

static uint8_t ToByte(double v)
{
    long scaled = std::lround(v * 255.0);
    return (uint8_t)(scaled < 0 ? 0 : scaled > 255 ? 255 : scaled);
}

static void PutLe16(std::string &out, unsigned v)
{
    out += (char)(v & 0xFF);
    out += (char)((v >> 8) & 0xFF);
}

static void PutLe32(std::string &out, uint32_t v)
{
    PutLe16(out, v & 0xFFFF);
    PutLe16(out, v >> 16);
}

// Renders one image as an icon resource image: BITMAPINFOHEADER with the
// doubled height of icons, the BGRA rows bottom-up, then the AND mask
// (1 = transparent), its rows padded to 32 bits.
static std::string RenderIconImage(DesignSample design, int size)
{
    std::vector<uint8_t> bgra((size_t)size * size * 4, 0);
    std::vector<uint8_t> opaque((size_t)size * size, 0);
    for (int py = 0; py < size; py++) {
        for (int px = 0; px < size; px++) {
            double b = 0, g = 0, r = 0;
            int covered = 0;
            for (int sy = 0; sy < kSubsamples; sy++) {
                for (int sx = 0; sx < kSubsamples; sx++) {
                    double x = (px + (sx + 0.5) / kSubsamples) / size;
                    double y = (py + (sy + 0.5) / kSubsamples) / size;
                    Colour c{0, 0, 0};
                    if (design(x, y, c)) {
                        b += c.b, g += c.g, r += c.r;
                        covered++;
                    }
                }
            }
            size_t i = (size_t)py * size + px;
            if (covered > 0) {
                bgra[i * 4 + 0] = ToByte(b / covered);
                bgra[i * 4 + 1] = ToByte(g / covered);
                bgra[i * 4 + 2] = ToByte(r / covered);
                bgra[i * 4 + 3] = ToByte((double)covered / (kSubsamples * kSubsamples));
            }
            opaque[i] = covered * 2 >= kSubsamples * kSubsamples;
        }
    }

    int maskStride = ((size + 31) / 32) * 4;
    std::string image;
    PutLe32(image, 40);
    PutLe32(image, (uint32_t)size);
    PutLe32(image, (uint32_t)size * 2);
    PutLe16(image, 1);
    PutLe16(image, 32);
    PutLe32(image, 0);  // BI_RGB
    PutLe32(image, (uint32_t)(size * size * 4 + maskStride * size));
    for (int i = 0; i < 4; i++)
        PutLe32(image, 0);
    for (int py = size - 1; py >= 0; py--)
        image.append((const char *)&bgra[(size_t)py * size * 4], (size_t)size * 4);
    for (int py = size - 1; py >= 0; py--) {
        std::string row((size_t)maskStride, '\0');
        for (int px = 0; px < size; px++)
            if (!opaque[(size_t)py * size + px])
                row[(size_t)px / 8] = (char)(row[(size_t)px / 8] | (0x80 >> (px % 8)));
        image += row;
    }
    return image;
}

// ICONDIR, one ICONDIRENTRY per image, then the images.
static std::string BuildIconFile(DesignSample design)
{
    static const int kSizes[] = {32, 16};
    std::vector<std::string> images;
    for (int size : kSizes)
        images.push_back(RenderIconImage(design, size));

    std::string file;
    PutLe16(file, 0);
    PutLe16(file, 1);
    PutLe16(file, (unsigned)images.size());
    uint32_t offset = 6 + 16 * (uint32_t)images.size();
    for (size_t i = 0; i < images.size(); i++) {
        file += (char)kSizes[i];
        file += (char)kSizes[i];
        file += (char)0;  // no palette
        file += (char)0;
        PutLe16(file, 1);
        PutLe16(file, 32);
        PutLe32(file, (uint32_t)images[i].size());
        PutLe32(file, offset);
        offset += (uint32_t)images[i].size();
    }
    for (const std::string &image : images)
        file += image;
    return file;
}

int main(int argc, char **argv)
{
    DesignSample design = nullptr;
    if (argc == 3 && std::strcmp(argv[1], "installer") == 0)
        design = InstallerDesign;
    else if (argc == 3 && std::strcmp(argv[1], "app") == 0)
        design = AppDesign;
    if (design == nullptr) {
        std::fprintf(stderr, "usage: mkicon installer|app OUT\n");
        return 1;
    }

    std::string file = BuildIconFile(design);
    std::string temporary = std::string(argv[2]) + ".tmp";
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(file.data(), (std::streamsize)file.size());
    out.close();
    std::error_code failure;
    if (out)
        std::filesystem::rename(temporary, argv[2], failure);
    if (!out || failure) {
        std::fprintf(stderr, "mkicon: %s: cannot write the icon\n", argv[2]);
        return 1;
    }
    return 0;
}
