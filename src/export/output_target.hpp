#pragma once
// One output file written beside its target under a temporary name and
// renamed over the target only once complete; dropped unfinished, it leaves
// the target as it was. A target that exists and is not a regular file (a
// device, say) is written in place; a symbolic link is written through.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace velscan::exporter {

// An output that could not be written; the message says which and why.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class OutputTarget {
public:
    explicit OutputTarget(const std::string& target);  // throws OutputError
    ~OutputTarget();  // an output never committed is removed
    OutputTarget(const OutputTarget&) = delete;
    OutputTarget& operator=(const OutputTarget&) = delete;

    std::FILE* File() const { return file_.get(); }
    const std::string& Target() const { return target_; }
    // Writes all bytes; throws OutputError on failure.
    void Write(const void* data, std::size_t size);
    // Closes the file and puts it in place; throws OutputError on failure.
    void Commit();

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::string target_;
    std::filesystem::path finalPath_;
    std::filesystem::path writePath_;
    bool inPlace_ = false;
    bool committed_ = false;
    std::unique_ptr<std::FILE, Closer> file_;
};

}  // namespace velscan::exporter
