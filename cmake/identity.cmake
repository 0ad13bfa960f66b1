# The tool's fixed identity, written once for every build that needs it: the
# login agent's label, which is also the stem of the lock file's name and the
# identifier of the macOS application bundle. The code reads it as
# kAgentLabel (src/shared/product.h).
set(QS_AGENT_LABEL "org.quembrastella.switch")
