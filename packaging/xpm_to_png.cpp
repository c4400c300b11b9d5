// xpm_to_png IN OUT: the window's icon, drawn as XPM for the window itself, as the PNG a desktop
// entry needs. Used by the build only.
#include <QImage>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: xpm_to_png IN.xpm OUT.png\n", stderr);
    return 2;
  }
  const QImage image(QString::fromLocal8Bit(argv[1]));
  if (image.isNull()) {
    std::fprintf(stderr, "xpm_to_png: cannot read %s\n", argv[1]);
    return 1;
  }
  if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "xpm_to_png: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
