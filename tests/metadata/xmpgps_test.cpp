#include "metadata/xmpgps.h"

#include <gtest/gtest.h>

#include <string>

#include "metadata/tagentry.h"

namespace velmora {
namespace {

Bytes GpsPacketBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string GpsPacketText(const Bytes& b) { return std::string(b.begin(), b.end()); }

// The packet around a description: the xpacket wrapper, the namespaces the rows use.
std::string Packet(const std::string& description, const std::string& exifPrefix = "exif") {
  return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
         " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
         "  <rdf:Description rdf:about=\"\"\n"
         "    xmlns:" +
         exifPrefix +
         "=\"http://ns.adobe.com/exif/1.0/\"\n"
         "    xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"\n"
         "    xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n"
         "    xmlns:my=\"http://example.com/my/\"" +
         description +
         "  </rdf:Description>\n"
         " </rdf:RDF>\n"
         "</x:xmpmeta>\n"
         "                                                                                \n"
         "<?xpacket end=\"w\"?>";
}

TEST(XmpGps, CutsExactlyTheGpsProperties) {
  struct Row {
    const char* what;
    std::string in, out;
  };
  const Row rows[] = {
      {"attributes of rdf:Description, in both quote styles, the others kept",
       Packet("\n    xmp:Rating=\"3\"\n    exif:GPSLatitude=\"50,3.5N\"\n    exif:ExposureTime=\"1/60\"\n"
              "    exif:GPSLongitude='19,56.2E'>\n"),
       Packet("\n    xmp:Rating=\"3\"\n    exif:ExposureTime=\"1/60\">\n")},
      {"attributes with spaces around '=' and a '>' in a kept value",
       Packet(" my:Note=\"a > b\" exif:GPSAltitude = \"120/1\"\texif:GPSAltitudeRef=\"0\">\n"),
       Packet(" my:Note=\"a > b\">\n")},
      {"attributes of an empty description element",
       "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
       "<rdf:Description rdf:about=\"\" xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" exif:GPSVersionID=\"2.2.0.0\" "
       "exif:ColorSpace=\"1\"/></rdf:RDF></x:xmpmeta>",
       "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
       "<rdf:Description rdf:about=\"\" xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" "
       "exif:ColorSpace=\"1\"/></rdf:RDF></x:xmpmeta>"},
      {"simple elements, each on its line: the line goes with it",
       Packet(">\n   <exif:GPSLatitude>50,3.5N</exif:GPSLatitude>\n   <exif:ExposureTime>1/60</exif:ExposureTime>\n"
              "\t<exif:GPSTimeStamp/>\n"),
       Packet(">\n   <exif:ExposureTime>1/60</exif:ExposureTime>\n")},
      {"elements sharing a line with others: only the element",
       Packet("><exif:FNumber>28/10</exif:FNumber><exif:GPSMapDatum>WGS-84</exif:GPSMapDatum><dc:format>image/jpeg"
              "</dc:format>\n"),
       Packet("><exif:FNumber>28/10</exif:FNumber><dc:format>image/jpeg</dc:format>\n")},
      {"an element with a nested structure and a sequence",
       Packet(">\n   <exif:GPSDestLatitude>\n    <rdf:Description>\n     <exif:GPSFoo>x</exif:GPSFoo>\n"
              "     <my:Inner my:a=\"1\"/>\n    </rdf:Description>\n   </exif:GPSDestLatitude>\n"
              "   <exif:GPSVersionID rdf:parseType=\"Resource\"><rdf:Seq><rdf:li>2</rdf:li></rdf:Seq>"
              "</exif:GPSVersionID>\n   <dc:subject><rdf:Bag><rdf:li>GPS</rdf:li></rdf:Bag></dc:subject>\n"),
       Packet(">\n   <dc:subject><rdf:Bag><rdf:li>GPS</rdf:li></rdf:Bag></dc:subject>\n")},
      {"another prefix bound to the exif namespace",
       Packet(" e:GPSLatitude=\"1\" e:Flash=\"0\">\n   <e:GPSLongitude>2</e:GPSLongitude>\n", "e"),
       Packet(" e:Flash=\"0\">\n", "e")},
      {"the exif namespace as the default namespace of an element",
       Packet(">\n   <GPSLatitude xmlns=\"http://ns.adobe.com/exif/1.0/\">1</GPSLatitude>\n"
              "   <Make xmlns=\"http://ns.adobe.com/tiff/1.0/\">X</Make>\n"),
       Packet(">\n   <Make xmlns=\"http://ns.adobe.com/tiff/1.0/\">X</Make>\n")},
      {"GPS names in other namespaces, GPS in values, comments and text stay",
       Packet(" my:GPSLatitude=\"keep\" dc:title=\"exif:GPSLatitude\">\n   <!-- <exif:GPSLatitude>1</exif:GPSLatitude> "
              "-->\n"
              "   <my:GPSTrack>keep</my:GPSTrack>\n   <dc:description>GPS &amp; &lt;more&gt;</dc:description>\n"
              "   <exif:GPSLatitude><![CDATA[<50>]]></exif:GPSLatitude>\n"),
       Packet(" my:GPSLatitude=\"keep\" dc:title=\"exif:GPSLatitude\">\n   <!-- <exif:GPSLatitude>1</exif:GPSLatitude> "
              "-->\n"
              "   <my:GPSTrack>keep</my:GPSTrack>\n   <dc:description>GPS &amp; &lt;more&gt;</dc:description>\n")},
      {"letters outside ASCII before and between the cuts",
       Packet(" dc:rights=\"© Zając, Kraków 😀\" exif:GPSLatitude=\"1\">\n   <dc:creator>Łukasz 🙂 "
              "Ćwik</dc:creator>\n"
              "   <exif:GPSLongitude>2</exif:GPSLongitude>\n   <my:after>żółw 🐢</my:after>\n"),
       Packet(" dc:rights=\"© Zając, Kraków 😀\">\n   <dc:creator>Łukasz 🙂 Ćwik</dc:creator>\n"
              "   <my:after>żółw 🐢</my:after>\n")},
      {"CR LF line ends",
       "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\r\n<rdf:RDF "
       "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\r\n"
       "<rdf:Description xmlns:exif=\"http://ns.adobe.com/exif/1.0/\">\r\n  <exif:GPSLatitude>1</exif:GPSLatitude>\r\n"
       "  <exif:Flash>0</exif:Flash>\r\n</rdf:Description>\r\n</rdf:RDF>\r\n</x:xmpmeta>\r\n",
       "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\r\n<rdf:RDF "
       "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\r\n"
       "<rdf:Description xmlns:exif=\"http://ns.adobe.com/exif/1.0/\">\r\n"
       "  <exif:Flash>0</exif:Flash>\r\n</rdf:Description>\r\n</rdf:RDF>\r\n</x:xmpmeta>\r\n"},
      {"entities and character references in and around the cuts",
       "<!DOCTYPE x:xmpmeta [<!ENTITY e \"50N\">]><x:xmpmeta xmlns:x=\"adobe:ns:meta/\" "
       "xmlns:exif=\"http://ns.adobe.com/exif/1.0/\"><a b=\"&#x1F600;&quot;\" exif:GPSLatitude=\"&e;\">&e;"
       "<exif:GPSLongitude>&e;&amp;&#60;</exif:GPSLongitude></a></x:xmpmeta>",
       "<!DOCTYPE x:xmpmeta [<!ENTITY e \"50N\">]><x:xmpmeta xmlns:x=\"adobe:ns:meta/\" "
       "xmlns:exif=\"http://ns.adobe.com/exif/1.0/\"><a b=\"&#x1F600;&quot;\">&e;</a></x:xmpmeta>"},
      {"zero bytes after the packet stay", Packet(" exif:GPSLatitude=\"1\">\n") + std::string(5, '\0'),
       Packet(">\n") + std::string(5, '\0')},
  };
  for (const Row& r : rows) {
    ASSERT_NE(r.in, r.out) << r.what;
    EXPECT_EQ(GpsPacketText(StripXmpGps(GpsPacketBytes(r.in))), r.out) << r.what;
    // What is left has nothing more to take out.
    EXPECT_EQ(GpsPacketText(StripXmpGps(GpsPacketBytes(r.out))), r.out) << r.what;
  }
}

TEST(XmpGps, WithoutGpsTheBytesStayAsTheyAre) {
  const std::string rows[] = {
      Packet(" exif:ExposureTime=\"1/60\" xmp:Rating=\"5\">\n   <dc:title>Rynek</dc:title>\n"),
      Packet(" dc:title=\"GPS\">\n   <my:GPSNote>only a name in another namespace</my:GPSNote>\n"),
      // Nothing reads these, since they do not hold the letters: they stay, whatever they are.
      "not XML at all",
      std::string("\xFF\xFE<\0x\0", 6),
      "",
      // Unusual but valid spellings the reader must not rewrite.
      "<?xml version='1.0' encoding='UTF-8'?>\n<x:xmpmeta xmlns:x='adobe:ns:meta/'  ><a:b xmlns:a='urn:a'"
      " a:c = 'GPS'/></x:xmpmeta  >\n\n",
  };
  for (const std::string& in : rows) EXPECT_EQ(GpsPacketText(StripXmpGps(GpsPacketBytes(in))), in) << in;
}

TEST(XmpGps, UnreadablePacketsWithGpsThrow) {
  const std::string rows[] = {
      // An element left open.
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
      "<exif:GPSLatitude xmlns:exif=\"http://ns.adobe.com/exif/1.0/\">1</rdf:RDF></x:xmpmeta>",
      // A prefix never declared.
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><exif:GPSLatitude>1</exif:GPSLatitude></x:xmpmeta>",
      // Cut short.
      Packet(" exif:GPSLatitude=\"1\">\n").substr(0, Packet(" exif:GPSLatitude=\"1\">\n").find("</rdf:Desc")),
      // Not UTF-8.
      Packet(" dc:title=\"Krak\xF3w\" exif:GPSLatitude=\"1\">\n"),
      // UTF-16.
      std::string("<\0G\0P\0S\0/\0>\0", 12),
      // A property hidden in an entity, which would be left where no cut reaches.
      "<!DOCTYPE x:xmpmeta [<!ENTITY e \"&#60;exif:GPSLatitude>1&#60;/exif:GPSLatitude>\">]><x:xmpmeta "
      "xmlns:x=\"adobe:ns:meta/\" xmlns:exif=\"http://ns.adobe.com/exif/1.0/\"><a>&e;</a></x:xmpmeta>",
      // Two roots.
      "<a>GPS</a><b/>",
  };
  for (const std::string& in : rows) EXPECT_THROW(StripXmpGps(GpsPacketBytes(in)), EMetadata) << in;
}

}  // namespace
}  // namespace velmora
