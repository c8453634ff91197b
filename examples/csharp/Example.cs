// A launching program: makes a block for a fixed minute, reads it back, then dials.
//
//     mono Example.exe <path of CorvaneDialer>      (Windows: Example.exe <path of CorvaneDialer.exe>)

using System;
using Corvane.Launch;

public static class Example
{
    private static readonly string[] Items =
        { "C:\\pb\\rasphone.pbk", "Office VPN", "taro.yamada", "p@ss\u00b1w0rd\u00a7", "+81-3-1234-5678" };

    private const uint Utf8 = 65001;

    public static int Main(string[] args)
    {
        if (args.Length != 1)
        {
            Console.Error.WriteLine("usage: Example.exe <path of CorvaneDialer>");
            return 2;
        }
        // The block and the items are UTF-8 texts whatever the console's own encoding.
        Console.OutputEncoding = new System.Text.UTF8Encoding(false);
        try
        {
            Console.WriteLine("abi version " + CorvaneLaunch.AbiVersion());

            CorvaneMinute at = new CorvaneMinute(2026, 1, 2, 3, 4);
            string block = CorvaneLaunch.MakeBlock(Items, Utf8, at);
            Console.WriteLine("block for 2026-01-02 03:04: " + block);
            string[] items = CorvaneLaunch.ReadBlock(block, Utf8, at);
            if (!SameItems(items, Items))
            {
                Console.Error.WriteLine("read back: " + items.Length + " items, not the ones made");
                return 1;
            }
            Console.WriteLine("read back: " + items.Length + " items, the same");

            // The dial makes this minute's block in the system's code page (0).
            uint result = CorvaneLaunch.Dial(args[0], Items, 0, 60000);
            if (result == CorvaneResult.DialResultUnknown)
                Console.WriteLine("dial result unknown: the dialer's end did not carry it");
            else
                Console.WriteLine("dial result " + result + ": " + CorvaneLaunch.Explain(result));
            return 0;
        }
        catch (CorvaneLaunchException error)
        {
            Console.Error.WriteLine("failed: " + error.Message + " (return code " + error.Code + ")");
            return 1;
        }
    }

    private static bool SameItems(string[] left, string[] right)
    {
        if (left.Length != right.Length)
            return false;
        for (int i = 0; i < left.Length; ++i)
            if (!string.Equals(left[i], right[i], StringComparison.Ordinal))
                return false;
        return true;
    }
}
