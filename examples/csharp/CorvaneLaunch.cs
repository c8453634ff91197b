// CorvaneLaunch from C#: the library's declarations (NativeMethods) and a small wrapper
// (CorvaneLaunch) that raises CorvaneLaunchException with the library's return code.
//
// The library is CorvaneLaunch.dll beside the program on Windows (the x86 DLL for a 32-bit
// process, the x64 DLL for a 64-bit one) and libcorvanelaunch.so.1 on POSIX, where Mono finds it
// through the dllmap in the program's .config file. CallingConvention.Winapi is __stdcall on
// 32-bit Windows, the one convention on x64 Windows and the C convention on POSIX: the library's
// own convention everywhere.
//
// Texts cross as UTF-8 bytes marshalled here by hand, so no runtime's idea of an "ANSI" string
// comes in between. Every buffer that held an item or a block is wiped with corvane_wipe before it
// is let go; the .NET strings given and returned cannot be wiped, so keep them no longer than needed.

using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;
using System.Text;

namespace Corvane.Launch
{
    [StructLayout(LayoutKind.Sequential)]
    public struct CorvaneMinute
    {
        public int Year, Month, Day, Hour, Minute;

        public CorvaneMinute(int year, int month, int day, int hour, int minute)
        {
            Year = year;
            Month = month;
            Day = day;
            Hour = hour;
            Minute = minute;
        }
    }

    public static class CorvaneResult
    {
        public const int Ok = 0;
        public const int InvalidArgument = -1;
        public const int BufferTooSmall = -2;
        public const int BlockRejected = -3;
        public const int NotRepresentable = -4;
        public const int ItemHoldsNul = -5;
        public const int DialerNotStarted = -6;
        public const int Timeout = -7;
        public const int OutOfMemory = -8;
        public const int Internal = -9;

        // Dial's result when the dialer's end does not carry its status: on POSIX a result its
        // 8-bit exit status cannot carry, or a dialer ended by a signal.
        public const uint DialResultUnknown = 0xFFFFFFFF;
    }

    public static class NativeMethods
    {
        public const string Library = "CorvaneLaunch";
        public const uint AbiVersion = 1;

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        public static extern uint corvane_abi_version();

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        public static extern int corvane_make_block(IntPtr[] items, UIntPtr itemCount, uint codePage,
            ref CorvaneMinute at, byte[] block, ref UIntPtr blockSize);

        // The same function with a null minute: now.
        [DllImport(Library, EntryPoint = "corvane_make_block", CallingConvention = CallingConvention.Winapi,
            ExactSpelling = true)]
        public static extern int corvane_make_block_now(IntPtr[] items, UIntPtr itemCount, uint codePage,
            IntPtr at, byte[] block, ref UIntPtr blockSize);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        public static extern int corvane_read_block(byte[] block, uint codePage, ref CorvaneMinute at,
            byte[] items, ref UIntPtr itemsSize, out UIntPtr itemCount);

        [DllImport(Library, EntryPoint = "corvane_read_block", CallingConvention = CallingConvention.Winapi,
            ExactSpelling = true)]
        public static extern int corvane_read_block_now(byte[] block, uint codePage, IntPtr at,
            byte[] items, ref UIntPtr itemsSize, out UIntPtr itemCount);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        public static extern int corvane_dial(byte[] dialerPath, IntPtr[] items, UIntPtr itemCount,
            uint codePage, uint timeoutMs, out uint dialResult);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        public static extern int corvane_explain(uint dialResult, byte[] text, ref UIntPtr textSize);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        public static extern IntPtr corvane_error_text(int error);

        [DllImport(Library, CallingConvention = CallingConvention.Winapi, ExactSpelling = true)]
        public static extern void corvane_wipe(IntPtr p, UIntPtr n);

        [DllImport(Library, EntryPoint = "corvane_wipe", CallingConvention = CallingConvention.Winapi,
            ExactSpelling = true)]
        public static extern void corvane_wipe_bytes(byte[] p, UIntPtr n);
    }

    public class CorvaneLaunchException : Exception
    {
        public int Code { get; private set; }

        public CorvaneLaunchException(string function, int code)
            : base(function + ": " + CorvaneLaunch.ErrorText(code) + " (" + code + ")")
        {
            Code = code;
        }
    }

    public static class CorvaneLaunch
    {
        // One of the library's calls, made with a buffer (null to ask for the size) and its size.
        private delegate int BufferCall(byte[] buffer, ref UIntPtr size);

        public static uint AbiVersion()
        {
            return NativeMethods.corvane_abi_version();
        }

        public static string ErrorText(int code)
        {
            return Utf8At(NativeMethods.corvane_error_text(code)) ?? ("unknown return code " + code);
        }

        // The block the dialer reads, made from the five items for the minute at (null: now).
        public static string MakeBlock(string[] items, uint codePage, CorvaneMinute? at)
        {
            using (ItemArray array = new ItemArray(items))
            {
                CorvaneMinute minute = at.GetValueOrDefault();
                byte[] block = AskFirst("corvane_make_block", delegate(byte[] buffer, ref UIntPtr size)
                {
                    return at.HasValue
                        ? NativeMethods.corvane_make_block(array.Pointers, array.Count, codePage, ref minute, buffer,
                            ref size)
                        : NativeMethods.corvane_make_block_now(array.Pointers, array.Count, codePage, IntPtr.Zero,
                            buffer, ref size);
                });
                try
                {
                    return Encoding.UTF8.GetString(block, 0, block.Length - 1);
                }
                finally
                {
                    Wipe(block);
                }
            }
        }

        // The items of a block, read as the dialer would (the minute of at, then the one before).
        public static string[] ReadBlock(string block, uint codePage, CorvaneMinute? at)
        {
            byte[] source = Utf8Z(block);
            try
            {
                CorvaneMinute minute = at.GetValueOrDefault();
                UIntPtr count = UIntPtr.Zero;
                byte[] items = AskFirst("corvane_read_block", delegate(byte[] buffer, ref UIntPtr size)
                {
                    return at.HasValue
                        ? NativeMethods.corvane_read_block(source, codePage, ref minute, buffer, ref size, out count)
                        : NativeMethods.corvane_read_block_now(source, codePage, IntPtr.Zero, buffer, ref size,
                            out count);
                });
                try
                {
                    return SplitItems(items, (int)count.ToUInt32());
                }
                finally
                {
                    Wipe(items);
                }
            }
            finally
            {
                Wipe(source);
            }
        }

        // Makes this minute's block, runs the dialer with it and returns its exit status.
        public static uint Dial(string dialerPath, string[] items, uint codePage, uint timeoutMs)
        {
            using (ItemArray array = new ItemArray(items))
            {
                uint result;
                int code = NativeMethods.corvane_dial(Utf8Z(dialerPath), array.Pointers, array.Count, codePage,
                    timeoutMs, out result);
                Check("corvane_dial", code);
                return result;
            }
        }

        // What an exit status of the dialer means, as `corvane explain` says it.
        public static string Explain(uint dialResult)
        {
            byte[] text = AskFirst("corvane_explain", delegate(byte[] buffer, ref UIntPtr size)
            {
                return NativeMethods.corvane_explain(dialResult, buffer, ref size);
            });
            return Encoding.UTF8.GetString(text, 0, text.Length - 1);
        }

        private static void Check(string function, int code)
        {
            if (code != CorvaneResult.Ok)
                throw new CorvaneLaunchException(function, code);
        }

        // Asks with no buffer for the size needed, then calls with one of that size. The buffer
        // returned holds exactly what the library wrote, its last NUL included.
        private static byte[] AskFirst(string function, BufferCall call)
        {
            UIntPtr size = UIntPtr.Zero;
            int code = call(null, ref size);
            while (code == CorvaneResult.BufferTooSmall)
            {
                byte[] buffer = new byte[(int)size.ToUInt32()];
                code = call(buffer, ref size);
                if (code == CorvaneResult.Ok)
                {
                    if ((int)size.ToUInt32() == buffer.Length)
                        return buffer;
                    byte[] exact = new byte[(int)size.ToUInt32()];
                    Array.Copy(buffer, exact, exact.Length);
                    Wipe(buffer);
                    return exact;
                }
                Wipe(buffer);
            }
            Check(function, code);
            return new byte[] { 0 };
        }

        private static string[] SplitItems(byte[] items, int count)
        {
            List<string> result = new List<string>();
            int start = 0;
            for (int i = 0; i < items.Length && result.Count < count; ++i)
            {
                if (items[i] != 0)
                    continue;
                result.Add(Encoding.UTF8.GetString(items, start, i - start));
                start = i + 1;
            }
            return result.ToArray();
        }

        internal static byte[] Utf8Z(string text)
        {
            byte[] bytes = new byte[Encoding.UTF8.GetByteCount(text) + 1];
            Encoding.UTF8.GetBytes(text, 0, text.Length, bytes, 0);
            return bytes;
        }

        internal static void Wipe(byte[] bytes)
        {
            NativeMethods.corvane_wipe_bytes(bytes, new UIntPtr((uint)bytes.Length));
        }

        private static string Utf8At(IntPtr text)
        {
            if (text == IntPtr.Zero)
                return null;
            int length = 0;
            while (Marshal.ReadByte(text, length) != 0)
                ++length;
            byte[] bytes = new byte[length];
            Marshal.Copy(text, bytes, 0, length);
            return Encoding.UTF8.GetString(bytes);
        }

        // The items as an array of pointers to NUL-terminated UTF-8 texts in unmanaged memory
        // (so the garbage collector never moves or copies them), each wiped before it is freed.
        private sealed class ItemArray : IDisposable
        {
            public readonly IntPtr[] Pointers;
            public readonly UIntPtr Count;
            private readonly int[] sizes;

            public ItemArray(string[] items)
            {
                Pointers = new IntPtr[Math.Max(items.Length, 1)];
                sizes = new int[items.Length];
                Count = new UIntPtr((uint)items.Length);
                try
                {
                    for (int i = 0; i < items.Length; ++i)
                    {
                        byte[] bytes = Utf8Z(items[i]);
                        try
                        {
                            Pointers[i] = Marshal.AllocHGlobal(bytes.Length);
                            sizes[i] = bytes.Length;
                            Marshal.Copy(bytes, 0, Pointers[i], bytes.Length);
                        }
                        finally
                        {
                            Wipe(bytes);
                        }
                    }
                }
                catch
                {
                    Dispose();
                    throw;
                }
            }

            public void Dispose()
            {
                for (int i = 0; i < sizes.Length; ++i)
                {
                    if (Pointers[i] == IntPtr.Zero)
                        continue;
                    NativeMethods.corvane_wipe(Pointers[i], new UIntPtr((uint)sizes[i]));
                    Marshal.FreeHGlobal(Pointers[i]);
                    Pointers[i] = IntPtr.Zero;
                }
            }
        }
    }
}
