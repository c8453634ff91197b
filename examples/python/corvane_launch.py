"""CorvaneLaunch from Python: make and read parameter blocks, and dial, through ctypes.

The library is libcorvanelaunch.so.1 on POSIX and CorvaneLaunch.dll on Windows (the x86 DLL for a
32-bit Python, whose functions are __stdcall). Pass a path to CorvaneLaunch() or set
CORVANE_LAUNCH_LIBRARY to load another file.

Every failure of the library arrives as CorvaneLaunchError, whose code is the library's return code
(one of the E_* constants below). Items and blocks pass through buffers that are wiped with
corvane_wipe before they are let go; the Python strings given and returned are not wiped (Python
cannot wipe its own strings), so keep them no longer than needed.
"""

import ctypes
import datetime
import os
import sys

ABI_VERSION = 1

OK = 0
E_INVALID_ARGUMENT = -1
E_BUFFER_TOO_SMALL = -2
E_BLOCK_REJECTED = -3
E_NOT_REPRESENTABLE = -4
E_ITEM_HOLDS_NUL = -5
E_DIALER_NOT_STARTED = -6
E_TIMEOUT = -7
E_OUT_OF_MEMORY = -8
E_INTERNAL = -9

# dial()'s result when the dialer's end does not carry its status: on POSIX a result its 8-bit exit
# status cannot carry, or a dialer ended by a signal.
DIAL_RESULT_UNKNOWN = 0xFFFFFFFF

# The items of a block, in this order.
ITEM_NAMES = ("phonebook", "entry", "user", "password", "phone number")


class CorvaneLaunchError(Exception):
    """A call of the library failed; code is its return code."""

    def __init__(self, code, function, text):
        super().__init__(f"{function}: {text} ({code})")
        self.code = code
        self.function = function


class Minute(ctypes.Structure):
    """A local minute; None stands for now wherever a minute is taken."""

    _fields_ = [("year", ctypes.c_int), ("month", ctypes.c_int), ("day", ctypes.c_int),
                ("hour", ctypes.c_int), ("minute", ctypes.c_int)]

    @classmethod
    def of(cls, moment):
        return cls(moment.year, moment.month, moment.day, moment.hour, moment.minute)


def _default_library_path():
    override = os.environ.get("CORVANE_LAUNCH_LIBRARY")
    if override:
        return override
    return "CorvaneLaunch.dll" if sys.platform == "win32" else "libcorvanelaunch.so.1"


class CorvaneLaunch:
    """The library, loaded once; its calls may be made from several threads at once."""

    def __init__(self, path=None):
        path = path or _default_library_path()
        # 32-bit Windows: the functions are __stdcall, which ctypes calls through WinDLL.
        if sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4:
            self._lib = ctypes.WinDLL(path)
        else:
            self._lib = ctypes.CDLL(path)
        self._declare()
        version = self._lib.corvane_abi_version()
        if version != ABI_VERSION:
            raise RuntimeError(f"{path} has ABI version {version}; this module was written for {ABI_VERSION}")

    def _declare(self):
        lib = self._lib
        c_char_pp = ctypes.POINTER(ctypes.c_char_p)
        size_p = ctypes.POINTER(ctypes.c_size_t)
        minute_p = ctypes.POINTER(Minute)
        declarations = {
            "corvane_abi_version": (ctypes.c_uint32, []),
            "corvane_make_block": (ctypes.c_int, [c_char_pp, ctypes.c_size_t, ctypes.c_uint32, minute_p,
                                                  ctypes.c_void_p, size_p]),
            "corvane_read_block": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_uint32, minute_p, ctypes.c_void_p,
                                                  size_p, size_p]),
            "corvane_dial": (ctypes.c_int, [ctypes.c_char_p, c_char_pp, ctypes.c_size_t, ctypes.c_uint32,
                                            ctypes.c_uint32, ctypes.POINTER(ctypes.c_uint32)]),
            "corvane_explain": (ctypes.c_int, [ctypes.c_uint32, ctypes.c_void_p, size_p]),
            "corvane_error_text": (ctypes.c_char_p, [ctypes.c_int]),
            "corvane_wipe": (None, [ctypes.c_void_p, ctypes.c_size_t]),
        }
        for name, (result, arguments) in declarations.items():
            function = getattr(lib, name)
            function.restype = result
            function.argtypes = arguments

    # --- the calls -------------------------------------------------------------------------------

    def abi_version(self):
        return self._lib.corvane_abi_version()

    def error_text(self, code):
        text = self._lib.corvane_error_text(code)
        return text.decode("utf-8") if text is not None else f"unknown return code {code}"

    def make_block(self, items, code_page=0, at=None):
        """The block the dialer reads, made from the five items for the minute at (None: now)."""
        with _ItemArray(self._lib, items) as array:
            minute = _minute_pointer(at)
            return self._ask_first("corvane_make_block", _text_of,
                                   lambda buffer, size: self._lib.corvane_make_block(
                                       array.pointer, array.count, code_page, minute, buffer, size))

    def read_block(self, block, code_page=0, at=None):
        """The items of a block, read as the dialer would (the minute of at, then the one before)."""
        source = _WipedBuffer(self._lib, block.encode("utf-8") + b"\0")
        with source:
            count = ctypes.c_size_t(0)
            minute = _minute_pointer(at)
            return self._ask_first("corvane_read_block", lambda raw: _items_of(raw, count.value),
                                   lambda buffer, size: self._lib.corvane_read_block(
                                       source.address, code_page, minute, buffer, size, ctypes.byref(count)))

    def dial(self, dialer_path, items, code_page=0, timeout_ms=120000):
        """Makes this minute's block, runs the dialer with it, and returns its exit status."""
        with _ItemArray(self._lib, items) as array:
            result = ctypes.c_uint32(0)
            code = self._lib.corvane_dial(os.fsencode(dialer_path), array.pointer, array.count, code_page,
                                          timeout_ms, ctypes.byref(result))
            self._check("corvane_dial", code)
            return result.value

    def explain(self, dial_result):
        """What an exit status of the dialer means, as `corvane explain` says it."""
        return self._ask_first("corvane_explain", _text_of,
                               lambda buffer, size: self._lib.corvane_explain(dial_result, buffer, size))

    # --- the buffer convention -------------------------------------------------------------------

    def _check(self, function, code):
        if code != OK:
            raise CorvaneLaunchError(code, function, self.error_text(code))

    def _ask_first(self, function, decode, call):
        # Ask with no buffer for the size needed, then call again with one that size. Another
        # thread cannot change what a call returns, but the loop keeps going should the size grow.
        size = ctypes.c_size_t(0)
        code = call(None, ctypes.byref(size))
        while code == E_BUFFER_TOO_SMALL:
            with _WipedBuffer(self._lib, size=size.value) as buffer:
                code = call(buffer.address, ctypes.byref(size))
                if code == OK:
                    return decode(buffer.raw(size.value))
        self._check(function, code)
        return decode(b"")


class _WipedBuffer:
    """A buffer of the library's calls, wiped by corvane_wipe when the with-block ends."""

    def __init__(self, lib, data=b"", size=None):
        self._lib = lib
        self._buffer = ctypes.create_string_buffer(data, size if size is not None else len(data))

    @property
    def address(self):
        return ctypes.addressof(self._buffer)

    def raw(self, size):
        return ctypes.string_at(self._buffer, size)

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self._lib.corvane_wipe(self._buffer, ctypes.sizeof(self._buffer))
        return False


class _ItemArray:
    """The items as an array of NUL-terminated UTF-8 texts, each in a buffer wiped afterwards."""

    def __init__(self, lib, items):
        self._buffers = [_WipedBuffer(lib, item.encode("utf-8") + b"\0") for item in items]
        self.count = len(self._buffers)
        self.pointer = (ctypes.c_char_p * max(self.count, 1))(
            *[ctypes.cast(buffer.address, ctypes.c_char_p) for buffer in self._buffers])

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        for buffer in self._buffers:
            buffer.__exit__(*exception)
        return False


def _minute_pointer(at):
    if at is None:
        return None
    if isinstance(at, datetime.datetime):
        at = Minute.of(at)
    return ctypes.pointer(at)


def _text_of(raw):
    return raw.split(b"\0", 1)[0].decode("utf-8")


def _items_of(raw, count):
    return [item.decode("utf-8") for item in raw.split(b"\0")[:count]]
