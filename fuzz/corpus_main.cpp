// Runs each file named on the command line (or each file in a named
// directory) once through the fuzz target. Without libFuzzer this is how the
// saved inputs run in the ordinary test suite, sanitized or not.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool readFile(const std::string& path, std::string& text)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

void collect(const std::string& path, std::vector<std::string>& files)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        files.push_back(path); // reported as unreadable below
        return;
    }
    if (!S_ISDIR(st.st_mode)) {
        files.push_back(path);
        return;
    }
    DIR* dir = opendir(path.c_str());
    if (!dir) {
        files.push_back(path);
        return;
    }
    std::vector<std::string> found;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == ".." || name[0] == '.') continue;
        found.push_back(path + "/" + name);
    }
    closedir(dir);
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> files;
    for (int k = 1; k < argc; k++) collect(argv[k], files);
    if (files.empty()) {
        fprintf(stderr, "usage: hillcar-replay-corpus FILE|DIR ...\n");
        return 2;
    }
    for (const std::string& path : files) {
        std::string text;
        if (!readFile(path, text)) {
            fprintf(stderr, "hillcar-replay-corpus: cannot read %s\n", path.c_str());
            return 1;
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
    printf("%zu inputs ran\n", files.size());
    return 0;
}
