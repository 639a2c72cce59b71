// The built Orlenta.exe with passes that would hold a night: a box nobody answers, a helper the script
// leaves running. What they were showing is recorded, and nothing of a pass runs into the next.
#include <windows.h>
#include <wincodec.h>
#include <wincrypt.h>

#include <regex>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "run/UnattendedFixture.h"
#include "support/TestSupport.h"
#include "util/ComPtr.h"
#include "util/Text.h"

namespace orlenta {
namespace {

using test::ReadBytes;
using test::UnattendedTest;
using test::ValidJUnit;
using test::WriteBytes;

struct Picture {
    UINT width = 0;
    UINT height = 0;
    std::set<UINT32> colours;  // the distinct pixel values, up to a few
};

// The PNG as the platform's imaging component decodes it.
Picture ReadPicture(const std::string& path) {
    Picture picture;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                factory.put_void())) ||
        FAILED(factory->CreateDecoderFromFilename(AnsiToWide(path).c_str(), nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnDemand, decoder.put())) ||
        FAILED(decoder->GetFrame(0, frame.put())) || FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->GetSize(&picture.width, &picture.height))) {
        return picture;
    }
    std::basic_string<UINT32> pixels(static_cast<size_t>(picture.width) * picture.height, 0);
    converter->CopyPixels(nullptr, picture.width * 4, static_cast<UINT>(pixels.size() * 4),
                          reinterpret_cast<BYTE*>(pixels.data()));
    for (size_t i = 0; i < pixels.size() && picture.colours.size() < 4; ++i) {
        picture.colours.insert(pixels[i] & 0xFFFFFF);
    }
    return picture;
}

TEST_F(UnattendedTest, PassThatHangsOnABoxIsEndedAtItsLimitAndItsBoxIsRecordedInWordsAndAPicture) {
    WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs",
               // A box whose text holds a letter beyond the ANSI code page: the record keeps it, in UTF-8.
               "CreateObject(\"WScript.Shell\").Run \"\"\"" + test::PassFamily::Program() + "\"\" box\", 1, True\r\n");
    const std::string log = scratch_ / "night.log";
    RECT box{};
    const std::string report = scratch_ / "report.html";
    const KernelHandle process =
        Start("-UNATTENDED " + Folders() + " -START=1 -STOP=1 -TIMEOUT=1 -LOG=" + log + " -REPORT=" + report);
    const ULONGLONG started = GetTickCount64();
    // The box's place as it was last seen: a box may be laid out again after it first shows.
    EXPECT_EQ(1, Finish(process, [&] {
                  if (const HWND window = FindWindowA(nullptr, "Kavro licence")) {
                      GetWindowRect(window, &box);
                  }
                  return false;
              }));
    EXPECT_LE(55000u, GetTickCount64() - started) << "ended before its limit";
    EXPECT_EQ(nullptr, FindWindowA(nullptr, "Kavro licence")) << "the box outlived its pass";

    const std::string shown = "pass_helper.exe (";
    const std::string words = "): \"Kavro licence\" - \"The licence server \xCE\xA9 cannot be found.\" [OK]";
    const std::string escaped = std::regex_replace(words, std::regex("\""), "&quot;");
    const std::string text = ReadBytes(log);
    const size_t line = text.find("Pass AVE 1 was showing: " + shown);
    ASSERT_NE(std::string::npos, line) << text;
    EXPECT_NE(std::string::npos, text.find(words + "\r\n", line)) << text;
    EXPECT_NE(std::string::npos, text.find("Pass AVE 1 ends: timed out")) << text;

    ASSERT_TRUE(ValidJUnit(junit_));
    const std::string xml = ReadBytes(junit_);
    const std::string picture = log + ".screens\\Ave001-1.png";
    EXPECT_NE(std::string::npos, xml.find("<error message=\"timed out\">" + shown)) << xml;
    EXPECT_NE(std::string::npos, xml.find(escaped + "</error>")) << xml;
    // The box's own program was ended with the pass, and is named before the picture.
    EXPECT_NE(std::string::npos, xml.find("[[ATTACHMENT|" + picture + "]]</system-out>")) << xml;

    const Picture png = ReadPicture(picture);
    EXPECT_EQ(static_cast<UINT>(box.right - box.left), png.width);
    EXPECT_EQ(static_cast<UINT>(box.bottom - box.top), png.height);
    EXPECT_LE(3u, png.colours.size()) << "a blank picture";

    // The report carries the picture's very bytes.
    const std::string html = ReadBytes(report);
    const std::string uri = "src=\"data:image/png;base64,";
    const size_t at = html.find(uri);
    ASSERT_NE(std::string::npos, at) << html;
    const std::string base64 = html.substr(at + uri.size(), html.find('"', at + uri.size()) - at - uri.size());
    DWORD size = 0;
    ASSERT_TRUE(CryptStringToBinaryA(base64.c_str(), 0, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr));
    std::string bytes(size, '\0');
    ASSERT_TRUE(CryptStringToBinaryA(base64.c_str(), 0, CRYPT_STRING_BASE64, reinterpret_cast<BYTE*>(bytes.data()),
                                     &size, nullptr, nullptr));
    EXPECT_EQ(ReadBytes(picture), bytes.substr(0, size));
    // So does the history, for the report of a night merged where the screens folder never was.
    std::string hex;
    for (const unsigned char c : ReadBytes(picture)) {
        hex += "0123456789ABCDEF"[c >> 4];
        hex += "0123456789ABCDEF"[c & 15];
    }
    EXPECT_EQ(hex + "\n", test::HostScriptOutput("sqlite3 '" + test::UnixPath(scratch_ / "Orlenta-history.db") +
                                                 "' \"SELECT hex(picture_png) FROM pass_windows\"")
                              .value_or("(none)"));
}

TEST_F(UnattendedTest, HelperAScriptLeavesRunningIsEndedBeforeTheNextPassAndNamed) {
    // Pass 1 starts a helper that holds a file and quits at once; pass 2 fails unless it can delete
    // that file, which it can only once the helper has gone.
    const std::string held = scratch_ / "held";
    const std::string helper = test::PassFamily::Program();
    WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs",
               "Set fso = CreateObject(\"Scripting.FileSystemObject\")\r\n"
               "lines = Split(fso.OpenTextFile(\"InputData.txt\", 1).ReadAll, vbCrLf)\r\n"
               "If lines(UBound(lines) - 1) = \"1\" Then\r\n"
               "  CreateObject(\"WScript.Shell\").Run \"\"\"" + helper + "\"\" \"\"" + scratch_.Path() +
                   "\"\" 0 hold\", 0, False\r\n"
                   "  Do While Not fso.FileExists(\"" + (scratch_ / "pids.txt") + "\")\r\n  Loop\r\n"
                   "  WScript.Quit 0\r\n"
                   "End If\r\n"
                   "If Not fso.FileExists(\"" + held + "\") Then WScript.Quit 8\r\n"
                   "On Error Resume Next\r\n"
                   "fso.DeleteFile \"" + held + "\"\r\n"
                   "If Err.Number <> 0 Then WScript.Quit 7\r\n");
    EXPECT_EQ(0, Run("-UNATTENDED " + Folders() + " -START=1 -STOP=2 -TIMEOUT=5"));
    const std::string log = Log();
    EXPECT_NE(std::string::npos,
              log.find("Pass AVE 1 left 1 process running; ended: pass_helper.exe (" +
                       std::to_string(family_.Pids().at(0)) + ")\r\n"))
        << log;
    EXPECT_EQ(std::string::npos, log.find("No time limit")) << "said though a limit was given";
    const std::string xml = ReadBytes(junit_);
    EXPECT_NE(std::string::npos, xml.find("<system-out>Pass AVE 1 left 1 process running; ended: pass_helper.exe"))
        << xml;
}

}  // namespace
}  // namespace orlenta
