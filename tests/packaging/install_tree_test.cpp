// The install rules, run into a temporary DESTDIR: the tree a Debian package of the program holds.
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QXmlStreamReader>

#include <cstdlib>
#include <filesystem>
#include <map>

namespace {

namespace fs = std::filesystem;

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
    EXPECT_EQ(found["allow_active"], "auth_admin_keep");
    EXPECT_EQ(found["message"], "安装课件需要管理员权限");
    EXPECT_EQ(found["messageen"], "Installing courseware needs administrator rights");
}

} // namespace
