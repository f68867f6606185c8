#include "CliRunner.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
    {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    return parts;
}

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameComponent(const std::string& recovered, const std::string& manifest)
{
    if (recovered.size() != manifest.size())
        return false;
    for (size_t i = 0; i < recovered.size(); ++i)
    {
        if (i == 0 && recovered[0] == '_')
            continue;
        if (Upper(recovered[i]) != Upper(manifest[i]))
            return false;
    }
    return true;
}

} // namespace

CliFixture::CliFixture()
{
    ::setenv("VLM_RESUME_DIR", Dir.File("resume").c_str(), 1);
}

std::string CliFixture::Image(const std::string& name)
{
    const std::string path = Dir.File(name + ".img");
    if (!std::filesystem::exists(path) && !UnpackZst(SourcePath("tests/data/" + name + ".img.zst"), path))
        UnpackZst(SourcePath("samples/" + name + ".img.zst"), path);
    return path;
}

std::string CliFixture::NewFolder(const std::string& name)
{
    const std::string path = Dir.File(name);
    std::filesystem::create_directories(path);
    return path;
}

CliResult CliFixture::Run(const std::vector<std::string>& images, const std::vector<std::string>& args,
                          const std::string& shell, int interruptAfterMs)
{
    std::string command = Quote(VLM_CLI_PATH) + " --no-machine-devices";
    for (const std::string& image : images)
        command += " --image " + Quote(image);
    for (const std::string& arg : args)
        command += " " + Quote(arg);
    const std::string out = Dir.File("stdout.txt");
    const std::string err = Dir.File("stderr.txt");
    command += " </dev/null >" + Quote(out) + " 2>" + Quote(err);
    if (interruptAfterMs > 0)
        command += " & pid=$!; sleep " + std::to_string(interruptAfterMs / 1000.0) + "; kill -INT $pid; wait $pid";
    if (!shell.empty())
        command = shell + "; " + command;
    const int status = std::system(("sh -c " + Quote(command)).c_str());
    CliResult result;
    result.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.Out = ReadAll(out);
    result.Err = ReadAll(err);
    return result;
}

std::vector<ManifestEntry> ReadManifest(const std::string& name)
{
    std::vector<ManifestEntry> entries;
    std::string path = SourcePath("tests/data/" + name + ".manifest");
    if (!std::filesystem::exists(path))
        path = SourcePath("samples/" + name + ".manifest");
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
    {
        if (line.empty() || line[0] == '#')
            continue;
        const std::vector<std::string> f = Split(line, '\t');
        if (f.size() != 4)
            continue;
        entries.push_back({f[0], std::atoll(f[1].c_str()), f[2], f[3]});
    }
    return entries;
}

std::map<std::string, std::string> HashTree(const std::string& folder)
{
    std::map<std::string, std::string> tree;
    if (!std::filesystem::exists(folder))
        return tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    {
        if (entry.is_regular_file())
            tree[std::filesystem::relative(entry.path(), folder).string()] = Sha256OfFile(entry.path().string());
    }
    return tree;
}

bool SamePath(const std::string& recovered, const std::string& manifest)
{
    const std::vector<std::string> a = Split(recovered, '/');
    const std::vector<std::string> b = Split(manifest, '/');
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
    {
        if (!SameComponent(a[i], b[i]))
            return false;
    }
    return true;
}

std::string FindRecovered(const std::map<std::string, std::string>& tree, const std::string& manifestPath)
{
    for (const auto& [path, sha] : tree)
    {
        if (SamePath(path, manifestPath))
            return path;
    }
    return {};
}
