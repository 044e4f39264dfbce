// Makes the scan benchmark's tree fast: FOLDERS leaf folders under a few levels, FILES files
// in all, small files of 0 to 8 KB (a few larger), every 50th file with a second name in its
// folder, and a symbolic-link loop. Usage: fsw_bench_scan_tree DIR [FILES] [FOLDERS]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s DIR [FILES] [FOLDERS]\n", argv[0]);
        return 2;
    }
    std::string root = argv[1];
    long files = argc > 2 ? atol(argv[2]) : 1000000;
    long leaves = argc > 3 ? atol(argv[3]) : 50000;
    // Three levels of ten below fifty tops: leaves of 50 * 10 * 10 * 10 at the default.
    const long fanout = 10;
    long tops = leaves / (fanout * fanout * fanout);
    if (tops < 1) tops = 1;
    leaves = tops * fanout * fanout * fanout;
    long perLeaf = files / leaves;
    mkdir(root.c_str(), 0755);
    std::string buffer(256 * 1024, 'd');
    unsigned seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) & 0xFFFFFF;
    };
    long made = 0;
    char name[64];
    for (long t = 0; t < tops; ++t) {
        snprintf(name, sizeof name, "/top%03ld", t);
        std::string top = root + name;
        mkdir(top.c_str(), 0755);
        for (long a = 0; a < fanout; ++a) {
            std::string l1 = top + "/a" + std::to_string(a);
            mkdir(l1.c_str(), 0755);
            for (long b = 0; b < fanout; ++b) {
                std::string l2 = l1 + "/b" + std::to_string(b);
                mkdir(l2.c_str(), 0755);
                for (long c = 0; c < fanout; ++c) {
                    std::string leaf = l2 + "/c" + std::to_string(c);
                    mkdir(leaf.c_str(), 0755);
                    int dir = open(leaf.c_str(), O_RDONLY | O_DIRECTORY);
                    for (long f = 0; f < perLeaf; ++f, ++made) {
                        snprintf(name, sizeof name, "file%05ld.dat", f);
                        int fd = openat(dir, name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
                        unsigned r = next();
                        size_t size = r % 100 == 0 ? 64 * 1024 + r % (192 * 1024) : r % 8192;
                        if (fd < 0 || write(fd, buffer.data(), size) != static_cast<ssize_t>(size)) {
                            perror(name);
                            return 1;
                        }
                        close(fd);
                        if (made % 50 == 0) {
                            char other[64];
                            snprintf(other, sizeof other, "link%05ld.dat", f);
                            if (linkat(dir, name, dir, other, 0) != 0) {
                                perror(other);
                            }
                        }
                    }
                    close(dir);
                }
            }
        }
        // A loop of links: followed, it would never end.
        if (symlink("..", (top + "/a0/up").c_str()) != 0) {
            perror("symlink");
        }
    }
    if (symlink(".", (root + "/loop").c_str()) != 0) {
        perror("symlink");
    }
    printf("%ld files in %ld leaf folders\n", made, leaves);
    return 0;
}
