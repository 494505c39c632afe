# nuvra-click and nuvra-mcp for macOS, built from source with CMake:
#   brew install --HEAD --formula packaging/homebrew/nuvra-click.rb
# The repository address below is the project's; a release adds `url` and
# `sha256` of its source archive.
class NuvraClick < Formula
  desc "See and drive other applications' windows from an agent: CLI and MCP server"
  homepage "https://github.com/nuvra/nuvra-click"
  head "https://github.com/nuvra/nuvra-click.git", branch: "main"

  depends_on "cmake" => :build
  depends_on "ninja" => :build
  depends_on "nlohmann-json" => :build
  depends_on "pkgconf" => :build
  depends_on :macos
  depends_on "utf8proc"

  def install
    # Tests and benchmarks are off unless asked for: the two programs alone.
    system "cmake", "-S", ".", "-B", "build", "-G", "Ninja", *std_cmake_args
    system "cmake", "--build", "build"
    system "cmake", "--install", "build"
  end

  def caveats
    <<~EOS
      The application that starts nuvra-click or nuvra-mcp (the terminal, or
      the agent host) needs the Accessibility permission: System Settings >
      Privacy & Security > Accessibility.
      An agent host runs the MCP server as:
        {"mcpServers": {"nuvra": {"command": "#{opt_bin}/nuvra-mcp", "args": []}}}
    EOS
  end

  test do
    # Without the permission every run says so first (exit 2), with it no
    # arguments is a usage error (exit 3); the server answers either way.
    assert_includes %w[2 3], shell_output("#{bin}/nuvra-click >/dev/null 2>&1; echo $?").strip
    request = '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-11-25"}}'
    assert_match '"protocolVersion":"2025-11-25"', pipe_output(bin/"nuvra-mcp", "#{request}\n")
  end
end
