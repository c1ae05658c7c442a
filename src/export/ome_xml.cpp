#include "export/ome_xml.h"

#include <cstdio>
#include <locale>
#include <sstream>

namespace qf {
namespace {

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default:
                // Control bytes have no place in XML 1.0; a name holding one shows a '?'.
                out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
        }
    }
    return out;
}

std::string Number(double value) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text.precision(17);
    text << value;
    return text.str();
}

std::uint64_t Fnv1a(const std::string& text, std::uint64_t basis) {
    std::uint64_t hash = basis;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

}  // namespace

std::string OmeUuid(const std::string& seed) {
    const std::uint64_t high = Fnv1a(seed, 0xcbf29ce484222325ULL);
    const std::uint64_t low = Fnv1a(seed, high ^ 0x9e3779b97f4a7c15ULL);
    // Version 8 (made by its writer's own rule) and the RFC variant.
    const std::uint64_t h = (high & ~std::uint64_t{0xF000}) | 0x8000;
    const std::uint64_t l = (low & ~(std::uint64_t{3} << 62)) | (std::uint64_t{2} << 62);
    char text[48];
    std::snprintf(text, sizeof text, "urn:uuid:%08x-%04x-%04x-%04x-%012llx", static_cast<unsigned>(h >> 32),
                  static_cast<unsigned>((h >> 16) & 0xFFFF), static_cast<unsigned>(h & 0xFFFF),
                  static_cast<unsigned>(l >> 48), static_cast<unsigned long long>(l & 0xFFFFFFFFFFFFULL));
    return text;
}

std::string OmeXml(const OmeImage& image) {
    std::ostringstream x;
    x.imbue(std::locale::classic());
    x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<OME xmlns=\"http://www.openmicroscopy.org/Schemas/OME/2016-06\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xsi:schemaLocation=\"http://www.openmicroscopy.org/Schemas/OME/2016-06 "
         "http://www.openmicroscopy.org/Schemas/OME/2016-06/ome.xsd\" "
      << "UUID=\"" << image.uuid << "\" Creator=\"quillfen\">\n"
      << "  <Image ID=\"Image:0\" Name=\"" << Escaped(image.name) << "\">\n"
      << "    <Pixels ID=\"Pixels:0\" DimensionOrder=\"XYCZT\" Type=\"uint16\" SignificantBits=\""
      << image.significantBits << "\" SizeX=\""
      << image.width << "\" SizeY=\"" << image.height << "\" SizeC=\"1\" SizeZ=\"1\" SizeT=\"" << image.frames << "\"";
    if (image.pixelSize.known()) {
        x << " PhysicalSizeX=\"" << Number(image.pixelSize.widthUm) << "\" PhysicalSizeXUnit=\"\xC2\xB5m\""
          << " PhysicalSizeY=\"" << Number(image.pixelSize.heightUm) << "\" PhysicalSizeYUnit=\"\xC2\xB5m\"";
    }
    x << ">\n"
      << "      <Channel ID=\"Channel:0:0\" SamplesPerPixel=\"1\"/>\n"
      << "      <TiffData IFD=\"0\" PlaneCount=\"" << image.frames << "\">\n"
      << "        <UUID FileName=\"" << Escaped(image.fileName) << "\">" << image.uuid << "</UUID>\n"
      << "      </TiffData>\n"
      << "    </Pixels>\n"
      << "  </Image>\n"
      << "</OME>\n";
    return x.str();
}

}  // namespace qf
