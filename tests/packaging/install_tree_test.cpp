// The install rules, run into a temporary DESTDIR: the tree a Debian package of the program holds.
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QXmlStreamReader>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// Runs a shell command; its exit code and what it printed on both streams.
std::pair<int, std::string> Shell(const std::string& command)
{
    std::string output;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return {-1, output};
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

class InstallTreeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_destdir = std::make_unique<TempFolder>("install-tree");
        s_install = Shell("DESTDIR='" + s_destdir->Path().string() +
            "' '" INSTALLER_CMAKE_COMMAND "' --install '" INSTALLER_BUILD_DIR "'");
    }
    static void TearDownTestSuite() { s_destdir.reset(); }

    void SetUp() override { ASSERT_EQ(s_install.first, 0) << s_install.second; }

    // An installed path, under the prefix, inside the DESTDIR.
    static fs::path Installed(const std::string& pathUnderPrefix)
    {
        return s_destdir->Path() / (std::string(INSTALLER_INSTALL_PREFIX).substr(1) + "/" + pathUnderPrefix);
    }

    static inline std::unique_ptr<TempFolder> s_destdir;
    static inline std::pair<int, std::string> s_install;
};

TEST_F(InstallTreeTest, TheProgramUnderItsOwnName)
{
    const fs::path program = s_destdir->Path() / std::string(INSTALLER_INSTALLED_PROGRAM).substr(1);
    EXPECT_EQ(program, Installed("bin/" INSTALLER_PACKAGE_NAME));
    ASSERT_TRUE(fs::is_regular_file(program));
    EXPECT_NE(fs::status(program).permissions() & fs::perms::others_exec, fs::perms::none);
    const auto [code, output] = Shell("'" + program.string() + "' --version");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(output, "1.0.0.1\n");
}

TEST_F(InstallTreeTest, AMenuEntryThatValidates)
{
    const fs::path desktop = Installed("share/applications/" INSTALLER_PACKAGE_NAME ".desktop");
    ASSERT_TRUE(fs::is_regular_file(desktop));
    const auto [code, output] = Shell("desktop-file-validate '" + desktop.string() + "'");
    EXPECT_EQ(code, 0) << output;
    EXPECT_EQ(output, "");
    std::ifstream in(desktop);
    std::map<std::string, std::string> keys;
    for (std::string line; std::getline(in, line);)
        if (const auto equals = line.find('='); equals != std::string::npos)
            keys[line.substr(0, equals)] = line.substr(equals + 1);
    EXPECT_EQ(keys["Name"], "课件安装工具");
    EXPECT_FALSE(keys["Name[en]"].empty());
    EXPECT_FALSE(keys["Comment"].empty());
    EXPECT_EQ(keys["Exec"], INSTALLER_PACKAGE_NAME);
    EXPECT_EQ(keys["Icon"], INSTALLER_PACKAGE_NAME);
    EXPECT_EQ(keys["Categories"], "Education;");
    EXPECT_EQ(keys["Terminal"], "false");
}

TEST_F(InstallTreeTest, TheIconAtEachSizeOfTheTheme)
{
    for (const int size : {48, 64, 128, 256}) {
        const std::string folder = std::to_string(size) + "x" + std::to_string(size);
        const fs::path icon = Installed("share/icons/hicolor/" + folder + "/apps/" INSTALLER_PACKAGE_NAME ".png");
        const QImage image(QString::fromStdString(icon.string()));
        ASSERT_FALSE(image.isNull()) << icon;
        EXPECT_EQ(image.size(), QSize(size, size)) << icon;
    }
}

TEST_F(InstallTreeTest, ThePolkitActionRunsTheInstalledProgram)
{
    const fs::path policy = Installed("share/polkit-1/actions/" INSTALLER_POLKIT_ACTION_ID ".policy");
    QFile file(QString::fromStdString(policy.string()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << policy;
    QXmlStreamReader xml(&file);
    std::map<std::string, std::string> found; // element (with its key or language) -> text
    std::string action;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString();
        if (name == "action") {
            action = xml.attributes().value("id").toString().toStdString();
        } else if (name == "annotate") {
            const std::string key = xml.attributes().value("key").toString().toStdString();
            found[key] = xml.readElementText().toStdString();
        } else if (name == "message" || name == "allow_active") {
            const std::string lang = xml.attributes().value("xml:lang").toString().toStdString();
            found[name.toStdString() + (lang.empty() ? "" : "[" + lang + "]")] = xml.readElementText().toStdString();
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(action, INSTALLER_POLKIT_ACTION_ID);
    EXPECT_EQ(found["org.freedesktop.policykit.exec.path"], INSTALLER_INSTALLED_PROGRAM);
    EXPECT_EQ(found["org.freedesktop.policykit.exec.allow_gui"], "true");
    EXPECT_EQ(found["allow_active"], "auth_admin_keep");
    EXPECT_EQ(found["message"], "安装课件需要管理员权限");
    EXPECT_FALSE(found["message[en]"].empty());
}

} // namespace
