#include "platform/spooler.h"

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/profile.h"
#include "tests/platform/forked_child.h"
#include "tests/support/scoped_environment.h"

using namespace std::string_literals;
using platform::PrinterInfo;
using testing_support::ForkedChild;
using testing_support::kNoHandshake;

namespace platform {
void PrintTo(const PrinterInfo& printer, std::ostream* out) {
    *out << '{' << testing::PrintToString(printer.name) << ", "
         << testing::PrintToString(printer.driver) << '}';
}
}  // namespace platform

namespace {

using Printers = std::vector<PrinterInfo>;
using Names = std::vector<std::string>;

// One GetDefaultPrinterA call through a buffer of `capacity` characters.
struct DefaultQuery {
    BOOL ok;
    DWORD error;  // the last error when the call failed
    DWORD size;   // *size after the call
    std::string name;
};

DefaultQuery QueryDefault(DWORD capacity = 512) {
    std::string buffer(capacity + 1, '#');
    DWORD size = capacity;
    SetLastError(ERROR_SUCCESS);
    BOOL ok = GetDefaultPrinterA(buffer.data(), &size);
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    return {ok, error, size, ok ? std::string(buffer.c_str()) : std::string()};
}

// The last error of a failed call, ERROR_SUCCESS when it succeeded.
DWORD SetDefaultError(LPCSTR name) {
    SetLastError(ERROR_SUCCESS);
    return SetDefaultPrinterA(name) ? ERROR_SUCCESS : GetLastError();
}
DWORD AddError(const std::string& name, const std::string& driver) {
    SetLastError(ERROR_SUCCESS);
    return platform::AddPrinter(name, driver) ? ERROR_SUCCESS : GetLastError();
}

std::string ProfileValue(const char* section, const char* key, const std::string& file) {
    char value[256] = {};
    GetPrivateProfileStringA(section, key, "<missing>", value, sizeof value, file.c_str());
    return value;
}

class Spooler : public ::testing::Test {
  protected:
    std::string PrintersFile() const { return (platform_.Root() / "printers.ini").string(); }

    testing_support::ScopedPlatform platform_;
};

}  // namespace

TEST_F(Spooler, AFreshInstallationHasNoPrintersAndNoDefaultAndFailedCallsWriteNothing) {
    const std::filesystem::path root = platform_.Work() / "not" / "yet";
    testing_support::ScopedEnvVar rootVar("TESSALINE_ROOT", root.string());

    EXPECT_EQ(platform::ListPrinters(), Printers{});
    EXPECT_EQ(platform::FindPrinter("Tessaline"), std::nullopt);

    char buffer[16] = "untouched";
    DWORD size = sizeof buffer;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(GetDefaultPrinterA(buffer, &size));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(size, sizeof buffer) << "no size is reported when there is no default";
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(platform::DefaultPrinterName(), "");

    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(GetDefaultPrinterA(buffer, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    EXPECT_EQ(SetDefaultError("Tessaline"), ERROR_INVALID_PRINTER_NAME);
    EXPECT_FALSE(platform::MakeDefaultPrinter("Tessaline"));
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(platform::DeletePrinter("Tessaline"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PRINTER_NAME);
    EXPECT_FALSE(std::filesystem::exists(platform_.Work() / "not")) << "nothing was written";
}

TEST_F(Spooler, PrintersListInTheOrderAddedAndEitherCanBeTheDefault) {
    ASSERT_TRUE(platform::AddPrinter("Tessaline", "Tessaline Driver"));
    ASSERT_TRUE(platform::AddPrinter("Office Laser", "PCL6"));
    EXPECT_EQ(platform::ListPrinters(),
              (Printers{{"Tessaline", "Tessaline Driver"}, {"Office Laser", "PCL6"}}));
    EXPECT_EQ(platform::FindPrinter("office laser"), (PrinterInfo{"Office Laser", "PCL6"}));
    EXPECT_EQ(platform::FindPrinter("Office"), std::nullopt);
    EXPECT_EQ(platform::FindPrinter(" Tessaline"), std::nullopt) << "names are not trimmed";
    EXPECT_EQ(QueryDefault().error, ERROR_FILE_NOT_FOUND) << "adding does not choose a default";

    EXPECT_TRUE(SetDefaultPrinterA("Office Laser"));
    DefaultQuery query = QueryDefault();
    EXPECT_TRUE(query.ok);
    EXPECT_EQ(query.name, "Office Laser");
    EXPECT_EQ(query.size, 13u) << "characters copied, with the terminator";
    EXPECT_EQ(platform::DefaultPrinterName(), "Office Laser");

    EXPECT_TRUE(platform::MakeDefaultPrinter("Tessaline"));
    EXPECT_EQ(platform::DefaultPrinterName(), "Tessaline");
    EXPECT_TRUE(platform::MakeDefaultPrinter("Tessaline")) << "already the default";
    EXPECT_EQ(platform::DefaultPrinterName(), "Tessaline");
}

TEST_F(Spooler, UnknownNullOrEmptyNamesAreRefusedAndTheDefaultStays) {
    ASSERT_TRUE(platform::AddPrinter("Tessaline", "Tessaline Driver"));
    ASSERT_TRUE(SetDefaultPrinterA("Tessaline"));
    const std::string before = testing_support::ReadFile(PrintersFile());

    for (LPCSTR name :
         std::vector<LPCSTR>{"Missing", "Tessaline2", " Tessaline", "Tessaline ", "", nullptr}) {
        EXPECT_EQ(SetDefaultError(name), ERROR_INVALID_PRINTER_NAME)
            << (name != nullptr ? name : "(null)");
    }
    EXPECT_FALSE(platform::MakeDefaultPrinter("Missing"));
    EXPECT_EQ(platform::DefaultPrinterName(), "Tessaline");
    EXPECT_EQ(testing_support::ReadFile(PrintersFile()), before);
}

TEST_F(Spooler, NamesCompareWithoutCaseAndKeepThePrintersOwnSpelling) {
    ASSERT_TRUE(platform::AddPrinter("Tessaline", "Tessaline Driver"));
    ASSERT_TRUE(platform::AddPrinter("Office Laser", "PCL6"));

    EXPECT_TRUE(SetDefaultPrinterA("TESSALINE"));
    EXPECT_EQ(platform::DefaultPrinterName(), "Tessaline");
    EXPECT_EQ(ProfileValue("Default", "Printer", PrintersFile()), "Tessaline")
        << "the stored default is the printer's spelling, not the caller's";
    EXPECT_TRUE(SetDefaultPrinterA("office LASER"));
    EXPECT_EQ(platform::DefaultPrinterName(), "Office Laser");
    EXPECT_TRUE(platform::DeletePrinter("TESSALINE"));
    EXPECT_EQ(platform::ListPrinters(), (Printers{{"Office Laser", "PCL6"}}));
}

TEST_F(Spooler, AddingAnExistingPrinterReplacesItsDriverInPlace) {
    ASSERT_TRUE(platform::AddPrinter("Tessaline", "Old Driver"));
    ASSERT_TRUE(platform::AddPrinter("Office Laser", "PCL6"));
    ASSERT_TRUE(SetDefaultPrinterA("Tessaline"));

    EXPECT_TRUE(platform::AddPrinter("TESSALINE", "New Driver"));
    EXPECT_EQ(platform::ListPrinters(),
              (Printers{{"Tessaline", "New Driver"}, {"Office Laser", "PCL6"}}))
        << "one entry, in its place, with its first spelling";
    EXPECT_EQ(platform::DefaultPrinterName(), "Tessaline") << "still the default";

    const std::string before = testing_support::ReadFile(PrintersFile());
    EXPECT_TRUE(platform::AddPrinter("Tessaline", "New Driver"));
    EXPECT_EQ(testing_support::ReadFile(PrintersFile()), before);
    EXPECT_TRUE(platform::AddPrinter("Tessaline", ""));
    EXPECT_EQ(platform::FindPrinter("Tessaline"), (PrinterInfo{"Tessaline", ""}));
}

TEST_F(Spooler, TheNameMustFitTheCallersBufferWithItsTerminator) {
    ASSERT_TRUE(platform::AddPrinter("Tessaline", "Tessaline Driver"));
    ASSERT_TRUE(SetDefaultPrinterA("Tessaline"));

    DefaultQuery tooSmall = QueryDefault(9);
    EXPECT_FALSE(tooSmall.ok);
    EXPECT_EQ(tooSmall.error, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(tooSmall.size, 10u) << "the size needed, terminator included";
    DefaultQuery exact = QueryDefault(10);
    EXPECT_TRUE(exact.ok);
    EXPECT_EQ(exact.name, "Tessaline");
    EXPECT_EQ(exact.size, 10u);

    DWORD size = 100;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(GetDefaultPrinterA(nullptr, &size)) << "a null buffer asks for the size";
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, 10u);

    // The program reads through 256 bytes: a 255-character name fits, a longer one reads as no
    // default printer at all.
    const std::string fits(255, 'F');
    const std::string tooLong(256, 'L');
    ASSERT_TRUE(platform::AddPrinter(fits, "Driver"));
    ASSERT_TRUE(platform::AddPrinter(tooLong, "Driver"));
    ASSERT_TRUE(platform::MakeDefaultPrinter(fits));
    EXPECT_EQ(platform::DefaultPrinterName(), fits);
    ASSERT_TRUE(platform::MakeDefaultPrinter(tooLong));
    EXPECT_EQ(platform::DefaultPrinterName(), "");
    EXPECT_EQ(QueryDefault(257).name, tooLong);
    EXPECT_EQ(QueryDefault(256).size, 257u);
}

TEST_F(Spooler, DeletingTheDefaultPrinterLeavesNoDefault) {
    ASSERT_TRUE(platform::AddPrinter("Tessaline", "Tessaline Driver"));
    ASSERT_TRUE(platform::AddPrinter("Office Laser", "PCL6"));
    ASSERT_TRUE(SetDefaultPrinterA("Office Laser"));

    EXPECT_TRUE(platform::DeletePrinter("Tessaline"));
    EXPECT_EQ(platform::DefaultPrinterName(), "Office Laser") << "another printer went";

    EXPECT_TRUE(platform::DeletePrinter("Office Laser"));
    EXPECT_EQ(platform::ListPrinters(), Printers{});
    DefaultQuery none = QueryDefault();
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.error, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(platform::DefaultPrinterName(), "");

    ASSERT_TRUE(platform::AddPrinter("Office Laser", "PCL6"));
    EXPECT_EQ(QueryDefault().error, ERROR_FILE_NOT_FOUND)
        << "a printer added again under the same name does not become the default again";

    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(platform::DeletePrinter("Tessaline"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PRINTER_NAME);
}

TEST_F(Spooler, ADefaultThatNamesNoPrinterIsNoDefault) {
    // As a file edited by hand might hold it, with a printer given twice.
    testing_support::WriteFile(PrintersFile(),
                               "[Printers]\r\n"
                               "Office Laser = PCL6\r\n"
                               "office laser=Other\r\n"
                               "[Default]\r\n"
                               "Printer=Gone\r\n");

    EXPECT_EQ(QueryDefault().error, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(platform::ListPrinters(), (Printers{{"Office Laser", "PCL6"}}));
    EXPECT_TRUE(SetDefaultPrinterA("OFFICE LASER"));
    EXPECT_EQ(platform::DefaultPrinterName(), "Office Laser");
    EXPECT_TRUE(platform::DeletePrinter("Office Laser"));
    EXPECT_EQ(platform::ListPrinters(), Printers{}) << "its second line went with it";
    EXPECT_EQ(QueryDefault().error, ERROR_FILE_NOT_FOUND);
}

TEST_F(Spooler, InvalidNamesAndDriversAreRefusedAndNothingIsWritten) {
    const Names badNames = {
        "",          " Tessaline", "Tessaline\t", "Tessa\nline", "Tessa\rline", "A=B",
        "[Default]", "Tessa]line", "Tessa[line",  ";Tessaline",  "Tessa\0line"s};
    const Names badDrivers = {" PCL6", "PCL6 ", "PC\nL6", "PC\rL6", "PC\0L6"s};

    const std::filesystem::path root = platform_.Work() / "fresh";
    {
        testing_support::ScopedEnvVar rootVar("TESSALINE_ROOT", root.string());
        for (const std::string& name : badNames) {
            EXPECT_EQ(AddError(name, "PCL6"), ERROR_INVALID_PRINTER_NAME) << name;
        }
        for (const std::string& driver : badDrivers) {
            EXPECT_EQ(AddError("Office Laser", driver), ERROR_INVALID_PARAMETER) << driver;
        }
        EXPECT_FALSE(std::filesystem::exists(root)) << "a refused call creates no root";
    }

    ASSERT_TRUE(platform::AddPrinter("Tessaline", "Tessaline Driver"));
    ASSERT_TRUE(SetDefaultPrinterA("Tessaline"));
    const std::string before = testing_support::ReadFile(PrintersFile());
    for (const std::string& name : badNames) {
        EXPECT_EQ(AddError(name, "PCL6"), ERROR_INVALID_PRINTER_NAME) << name;
    }
    for (const std::string& driver : badDrivers) {
        EXPECT_EQ(AddError("Tessaline", driver), ERROR_INVALID_PARAMETER) << driver;
    }
    EXPECT_EQ(testing_support::ReadFile(PrintersFile()), before);
    EXPECT_EQ(platform::ListPrinters(), (Printers{{"Tessaline", "Tessaline Driver"}}));

    // Characters that are harmless in the file stay part of the name.
    EXPECT_TRUE(platform::AddPrinter("HP LaserJet (Büro) #2; A4", "PCL6"));
    EXPECT_EQ(platform::FindPrinter("hp laserjet (BÜRO) #2; a4"),
              (PrinterInfo{"HP LaserJet (Büro) #2; A4", "PCL6"}));
}

TEST_F(Spooler, ProcessesAddingPrintersAtTheSameTimeLoseNone) {
    constexpr int kPerProcess = 40;
    auto addAll = [](const std::string& prefix) {
        for (int i = 0; i < kPerProcess; ++i) {
            if (!platform::AddPrinter(prefix + std::to_string(i), prefix + "Driver")) {
                return false;
            }
        }
        return true;
    };
    auto adder = [&addAll](const std::string& prefix) {
        return [&addAll, prefix](ForkedChild& self) {
            self.Send('r');
            if (!self.Receive('g')) {
                return kNoHandshake;
            }
            return addAll(prefix) ? 0 : testing_support::ExitCodeFor(FALSE);
        };
    };
    ForkedChild first(adder("First "));
    ForkedChild second(adder("Second "));
    ASSERT_TRUE(first.Receive('r'));
    ASSERT_TRUE(second.Receive('r'));
    first.Send('g');
    second.Send('g');
    EXPECT_TRUE(addAll("Third "));
    EXPECT_EQ(first.WaitExit(), 0);
    EXPECT_EQ(second.WaitExit(), 0);

    Names lost;
    for (const std::string prefix : {"First ", "Second ", "Third "}) {
        for (int i = 0; i < kPerProcess; ++i) {
            const std::string name = prefix + std::to_string(i);
            if (platform::FindPrinter(name) != PrinterInfo{name, prefix + "Driver"}) {
                lost.push_back(name);
            }
        }
    }
    EXPECT_EQ(lost, Names{});
    EXPECT_EQ(platform::ListPrinters().size(), 3u * kPerProcess);
}

TEST_F(Spooler, TheStateLivesInOnePrivateFileUnderTheRoot) {
    ASSERT_TRUE(platform::AddPrinter("Tessaline", "Tessaline Driver"));
    ASSERT_TRUE(platform::AddPrinter("Office Laser", "PCL6"));
    ASSERT_TRUE(SetDefaultPrinterA("tessaline"));
    ASSERT_TRUE(platform::DeletePrinter("Office Laser"));

    EXPECT_EQ(testing_support::ListFilesRecursively(platform_.Root()), Names{"printers.ini"});
    EXPECT_EQ(testing_support::ListFilesRecursively(platform_.Home()), Names{});
    EXPECT_EQ(testing_support::ListFilesRecursively(platform_.Temp()), Names{});
    EXPECT_EQ(testing_support::ListFilesRecursively(platform_.Work()), Names{});
    struct stat info {};
    ASSERT_EQ(::stat(PrintersFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 077, 0u) << "the printers file is the user's own";

    // Other tools read it as the INI file it is.
    EXPECT_EQ(ProfileValue("Printers", "Tessaline", PrintersFile()), "Tessaline Driver");
    EXPECT_EQ(ProfileValue("Printers", "Office Laser", PrintersFile()), "<missing>");
    EXPECT_EQ(ProfileValue("Default", "Printer", PrintersFile()), "Tessaline");
}
