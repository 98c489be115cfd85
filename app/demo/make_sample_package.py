#!/usr/bin/env python3
"""Writes the demo's sample courseware package: a ZIP with a kelvoClient folder, a few files
with Chinese names, and enough incompressible media that the archive is larger than 1 MiB
(smaller answers mean "no such package" to the installer). The output is the same every run."""
import random
import sys
import zipfile

STAMP = (2026, 9, 1, 8, 0, 0)

TEXTS = {
    "kelvoClient/启动课件.txt": "双击 kelvoClient 文件夹中的程序即可开始上课。\n",
    "kelvoClient/config/settings.ini": "[course]\nvolume=demo\ngrade=3\n",
    "教师用书/第一单元 认识数字.txt": "第一单元：认识数字 1 到 10。\n",
    "readme.txt": "Sample courseware package for the installer's demo.\n",
}


def main(out_path):
    media = random.Random(2026).randbytes(1536 * 1024)
    with zipfile.ZipFile(out_path, "w") as archive:
        for name, text in TEXTS.items():
            info = zipfile.ZipInfo(name, STAMP)
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, text.encode("utf-8"))
        info = zipfile.ZipInfo("kelvoClient/media/课堂动画.bin", STAMP)
        info.compress_type = zipfile.ZIP_STORED
        archive.writestr(info, media)
        archive.writestr(zipfile.ZipInfo("kelvoClient/empty/", STAMP), b"")


if __name__ == "__main__":
    main(sys.argv[1])
