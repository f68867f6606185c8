#include "CliRunner.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

CliFixture::CliFixture() { ::setenv("VLM_RESUME_DIR", Dir.File("resume").c_str(), 1); }

std::string CliFixture::Image(const std::string& name)
{
    const std::string path = Dir.File(name + ".img");
    if (!std::filesystem::exists(path)) UnpackFixtureImage(name, path);
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
    std::string command = ShellQuote(VLM_CLI_PATH) + " --no-machine-devices";
    for (const std::string& image : images) command += " --image " + ShellQuote(image);
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    const std::string out = Dir.File("stdout.txt");
    const std::string err = Dir.File("stderr.txt");
    command += " </dev/null >" + ShellQuote(out) + " 2>" + ShellQuote(err);
    if (interruptAfterMs > 0)
        command += " & pid=$!; sleep " + std::to_string(interruptAfterMs / 1000.0) + "; kill -INT $pid; wait $pid";
    if (!shell.empty()) command = shell + "; " + command;
    const int status = std::system(("sh -c " + ShellQuote(command)).c_str());
    CliResult result;
    result.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.Out = ReadFileText(out);
    result.Err = ReadFileText(err);
    return result;
}
