"""Symbolic links for the tests, which Wine cannot make itself.

  POST /__ctl/links/symlink   body "<target>\\n<link>" (Unix paths): makes
                              link point at target; the link must lie below
                              TEST_ROOT (the build folder of the run).
                              200, or 400 with the reason.
"""
import os


def register(state):
    return {"control": control}


def control(handler, name, query, body):
    if name != "links/symlink":
        return False
    try:
        target, link = body.decode("utf-8").split("\n", 1)
        root = os.path.realpath(os.environ["TEST_ROOT"])
        if not os.path.realpath(os.path.dirname(link)).startswith(root + os.sep):
            raise ValueError("link outside the build folder")
        os.symlink(target, link)
    except (KeyError, OSError, ValueError, UnicodeDecodeError) as error:
        handler.send_bytes(400, str(error).encode("utf-8"))
        return True
    handler.send_bytes(200, b"")
    return True
