#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream(stdout) << "usage: diarytrawl [search [options] | page URL]\n";
    return 0;
}
