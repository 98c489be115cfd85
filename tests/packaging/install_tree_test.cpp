// The install rules, run into a temporary DESTDIR: the tree a Debian package of the program holds.
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QXmlStreamReader>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <string>

namespace {

namespace fs = std::filesystem;

// What a shell command prints on standard output.
std::string Output(const std::string& command)
{
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string text;
    char buffer[4096];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        text.append(buffer, n);
    return text;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

class InstallTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string install = "DESTDIR='" + m_destdir.Path().string() +
            "' '" INSTALLER_CMAKE_COMMAND "' --install '" INSTALLER_BUILD_DIR "' >/dev/null";
        ASSERT_EQ(std::system(install.c_str()), 0);
    }
    // A path under the install prefix, inside the DESTDIR.
    fs::path Installed(const std::string& path) const
    {
        return m_destdir.Path() / (INSTALLER_INSTALL_PREFIX "/" + path).substr(1);
    }

    TempFolder m_destdir{"install-tree"};
};

TEST_F(InstallTreeTest, TheProgramItsMenuEntryAndItsIcons)
{
    const fs::path program = m_destdir.Path() / std::string(INSTALLER_INSTALLED_PROGRAM).substr(1);
    EXPECT_EQ(program, Installed("bin/" INSTALLER_PACKAGE_NAME));
    EXPECT_EQ(std::system(("'" + program.string() + "' --version >/dev/null").c_str()), 0);

    const fs::path desktop = Installed("share/applications/" INSTALLER_PACKAGE_NAME ".desktop");
    ASSERT_TRUE(fs::is_regular_file(desktop));
    EXPECT_EQ(std::system(("desktop-file-validate --warn-kde '" + desktop.string() + "'").c_str()), 0);

    for (const int size : {48, 64, 128, 256}) {
        const std::string folder = std::to_string(size) + "x" + std::to_string(size);
        const QImage icon(QString::fromStdString(
            Installed("share/icons/hicolor/" + folder + "/apps/" INSTALLER_PACKAGE_NAME ".png").string()));
        EXPECT_EQ(icon.size(), QSize(size, size)) << folder;
    }
    // The window's own icon, embedded in the program: 64 x 64 at 32 bits a pixel.
    const QImage windowIcon(INSTALLER_SOURCE_DIR "/skin/icon.png");
    EXPECT_EQ(windowIcon.size(), QSize(64, 64));
    EXPECT_EQ(windowIcon.depth(), 32);
}

TEST_F(InstallTreeTest, ThePolkitActionRunsTheInstalledProgram)
{
    QFile file(
        QString::fromStdString(Installed("share/polkit-1/actions/" INSTALLER_POLKIT_ACTION_ID ".policy").string()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    std::map<QString, QString> found; // annotation key, or element name with its language
    while (xml.readNext() != QXmlStreamReader::EndDocument && !xml.hasError()) {
        if (!xml.isStartElement())
            continue;
        const auto attributes = xml.attributes();
        const QString name = xml.name().toString();
        if (name == "annotate")
            found[attributes.value("key").toString()] = xml.readElementText();
        else if (name == "message" || name == "allow_active")
            found[name + attributes.value("xml:lang").toString()] = xml.readElementText();
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(found["org.freedesktop.policykit.exec.path"], INSTALLER_INSTALLED_PROGRAM);
    EXPECT_EQ(found["org.freedesktop.policykit.exec.allow_gui"], "true");
    EXPECT_EQ(found["allow_active"], "auth_admin");
    EXPECT_EQ(found["message"], "安装课件需要管理员权限");
    EXPECT_EQ(found["messageen"], "Installing courseware needs administrator rights");
}

// The teachers' group: in their active local session its members run the action without a
// password; anybody else is asked for an administrator's, as the action says. The site
// settings ship with every line commented out.
TEST_F(InstallTreeTest, MembersOfTheTeachersGroupAreNotAskedForAPassword)
{
    std::ifstream settings(m_destdir.Path() / "etc/" INSTALLER_PACKAGE_NAME "/installer.conf");
    int lines = 0;
    for (std::string line; std::getline(settings, line); ++lines)
        EXPECT_TRUE(line.empty() || line.starts_with("#")) << line;
    EXPECT_GT(lines, 10);
    const fs::path policy = Installed("share/polkit-1/actions/" INSTALLER_POLKIT_ACTION_ID ".policy");
    const fs::path rules = m_destdir.Path() / "usr/share/polkit-1/rules.d/" INSTALLER_PACKAGE_NAME ".rules";
    ASSERT_TRUE(fs::is_regular_file(rules));
    for (const auto& [membership, asked] : {std::pair{"member", false}, std::pair{"stranger", true}}) {
        const int status = std::system(("sh '" INSTALLER_SOURCE_DIR "/tests/support/polkit_group_check.sh' " +
            Quoted(policy) + " " + Quoted(rules) + " kelvo-installers " + membership)
                                           .c_str());
        if (WEXITSTATUS(status) == 77)
            GTEST_SKIP() << "no private polkit here";
        EXPECT_EQ(WEXITSTATUS(status), asked ? 2 : 0) << membership;
    }
}

// The manual page names every option and variable --help lists, has the sections a maintainer
// looks for, and renders without a warning from man (as lintian renders it).
TEST_F(InstallTreeTest, TheManualPageCoversTheHelp)
{
    const fs::path page = Installed("share/man/man8/" INSTALLER_PACKAGE_NAME ".8.gz");
    ASSERT_TRUE(fs::is_regular_file(page));
    const std::string roff = Output("gzip -dc " + Quoted(page));
    const std::string help = Output("'" INSTALLER_BUILD_DIR "/app/installer' --help");
    const std::regex listed(R"(\n  (--[a-z-]+|INSTALLER_[A-Z_]+|QT_[A-Z_]+|[a-z]+\.txt|[a-z]+(_[a-z]+)+))");
    int names = 0;
    for (std::sregex_iterator it(help.begin(), help.end(), listed), end; it != end; ++it, ++names) {
        const std::string name = std::regex_replace((*it)[1].str(), std::regex("-"), "\\-");
        EXPECT_NE(roff.find(name), std::string::npos) << (*it)[1];
    }
    EXPECT_GE(names, 20);
    for (const char* section : {"OPTIONS", "ENVIRONMENT", "VOLUME MAP", "EXIT STATUS", "FILES"})
        EXPECT_NE(roff.find(std::string("\n.SH ") + section + "\n"), std::string::npos) << section;
    for (const char* status : {".B 0\n", ".B 1\n", ".B 2\n", ".B 126\n"})
        EXPECT_NE(roff.find(status), std::string::npos) << status;
    EXPECT_EQ(
        Output("LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z " + Quoted(page) + " 2>&1 >/dev/null"),
        "");
}

// The copyright in the machine-readable format and the changelog whose latest entry is this
// version, compressed without a time stamp.
TEST_F(InstallTreeTest, TheCopyrightAndTheChangelog)
{
    const fs::path doc = Installed("share/doc/" INSTALLER_PACKAGE_NAME);
    std::ifstream copyright(doc / "copyright");
    std::string line;
    ASSERT_TRUE(std::getline(copyright, line));
    EXPECT_EQ(line, "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/");

    const fs::path changelog = doc / "changelog.gz";
    std::ifstream compressed(changelog, std::ios::binary);
    char header[8] = {};
    ASSERT_TRUE(compressed.read(header, sizeof header));
    EXPECT_EQ(std::string(header + 4, 4), std::string(4, '\0')) << "gzip time stamp";
    const std::string text = Output("gzip -dc " + Quoted(changelog));
    EXPECT_EQ(
        text.substr(0, text.find('\n')), INSTALLER_PACKAGE_NAME " (" INSTALLER_VERSION ") stable; urgency=medium");
}

// The metainfo names the menu entry the package installs and passes AppStream's own validator.
TEST_F(InstallTreeTest, TheAppStreamMetainfo)
{
    const fs::path metainfo = Installed("share/metainfo/" INSTALLER_APPSTREAM_ID ".metainfo.xml");
    QFile file(QString::fromStdString(metainfo.string()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    std::map<QString, QString> found; // element name with its language: its text, the first one
    const QStringList leaves{"id", "name", "summary", "launchable", "release"};
    while (xml.readNext() != QXmlStreamReader::EndDocument && !xml.hasError())
        if (xml.isStartElement() && leaves.contains(xml.name())) {
            const QString key = xml.name().toString() + xml.attributes().value("xml:lang").toString();
            const QString text = xml.readElementText();
            found.try_emplace(key, text);
        }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(found["id"], INSTALLER_APPSTREAM_ID);
    EXPECT_EQ(found["name"], "Courseware Installer");
    EXPECT_EQ(found["namezh_CN"], "课件安装工具");
    EXPECT_EQ(found["summaryzh_CN"], "把课件安装到U盘");
    EXPECT_TRUE(found.contains("release"));
    EXPECT_TRUE(fs::is_regular_file(Installed("share/applications/" + found["launchable"].toStdString())))
        << found["launchable"].toStdString();

    if (std::system("command -v appstreamcli >/dev/null") != 0)
        GTEST_SKIP() << "appstreamcli is not installed";
    // Not even a pedantic remark (a line "I: ...", "W: ...", "E: ...").
    const std::string report =
        "\n" + Output("appstreamcli validate --no-net --pedantic --no-color " + Quoted(metainfo) + " 2>&1; echo $?");
    EXPECT_TRUE(report.ends_with("\n0\n")) << report;
    EXPECT_FALSE(std::regex_search(report, std::regex("\n[IWE]: "))) << report;
}

} // namespace
