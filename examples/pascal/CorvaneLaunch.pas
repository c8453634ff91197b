{ CorvaneLaunch for Delphi and Free Pascal: the library's declarations, and a few helpers that
  raise ECorvaneLaunch with the library's return code.

  The library is CorvaneLaunch.dll on Windows (the x86 DLL for a 32-bit program, whose functions
  are stdcall; the x64 DLL has the one convention) and libcorvanelaunch.so.1 on POSIX, which Free
  Pascal links as -lcorvanelaunch. Texts are UTF-8: PAnsiChar pointers to UTF8String data.
  Buffers that held an item or a block are wiped with corvane_wipe before they are freed; the
  strings given and returned are ordinary strings: CorvaneWipeString clears one. Delphi 2009 or
  later (UTF8String, NativeUInt), Free Pascal 3.0 or later. }
unit CorvaneLaunch;

{$IFDEF FPC}{$MODE DELPHI}{$H+}{$ENDIF}

{$IFDEF MSWINDOWS}
  {$IFDEF CPU386}{$DEFINE CORVANE_STDCALL}{$ENDIF}
  {$IFDEF CPUX86}{$DEFINE CORVANE_STDCALL}{$ENDIF}
{$ENDIF}

interface

uses
  SysUtils;

const
{$IFDEF MSWINDOWS}
  CorvaneLaunchLibrary = 'CorvaneLaunch.dll';
{$ELSE}
  CorvaneLaunchLibrary = 'corvanelaunch';
{$ENDIF}

  CORVANE_LAUNCH_ABI_VERSION = 1;

  CORVANE_OK = 0;
  CORVANE_E_INVALID_ARGUMENT = -1;
  CORVANE_E_BUFFER_TOO_SMALL = -2;
  CORVANE_E_BLOCK_REJECTED = -3;
  CORVANE_E_NOT_REPRESENTABLE = -4;
  CORVANE_E_ITEM_HOLDS_NUL = -5;
  CORVANE_E_DIALER_NOT_STARTED = -6;
  CORVANE_E_TIMEOUT = -7;
  CORVANE_E_OUT_OF_MEMORY = -8;
  CORVANE_E_INTERNAL = -9;

  // corvane_dial's result when the dialer's end does not carry its status: on POSIX a result its
  // 8-bit exit status cannot carry, or a dialer ended by a signal.
  CORVANE_DIAL_RESULT_UNKNOWN = $FFFFFFFF;

type
  TCorvaneSize = NativeUInt; // size_t
  PCorvaneSize = ^TCorvaneSize;

  // A local minute; nil stands for now wherever a minute is taken.
  TCorvaneMinute = record
    Year, Month, Day, Hour, Minute: Integer;
  end;
  PCorvaneMinute = ^TCorvaneMinute;

  TCorvaneItems = array of UTF8String;

  ECorvaneLaunch = class(Exception)
  private
    FCode: Integer;
  public
    constructor CreateCode(const AFunction: string; ACode: Integer);
    property Code: Integer read FCode;
  end;

// --- The library's functions -----------------------------------------------------------------

function corvane_abi_version: UInt32;
  {$IFDEF CORVANE_STDCALL}stdcall;{$ELSE}cdecl;{$ENDIF} external CorvaneLaunchLibrary;
function corvane_make_block(Items: PPAnsiChar; ItemCount: TCorvaneSize; CodePage: UInt32;
  At: PCorvaneMinute; Block: PAnsiChar; BlockSize: PCorvaneSize): Integer;
  {$IFDEF CORVANE_STDCALL}stdcall;{$ELSE}cdecl;{$ENDIF} external CorvaneLaunchLibrary;
function corvane_read_block(Block: PAnsiChar; CodePage: UInt32; At: PCorvaneMinute;
  Items: PAnsiChar; ItemsSize: PCorvaneSize; ItemCount: PCorvaneSize): Integer;
  {$IFDEF CORVANE_STDCALL}stdcall;{$ELSE}cdecl;{$ENDIF} external CorvaneLaunchLibrary;
function corvane_dial(DialerPath: PAnsiChar; Items: PPAnsiChar; ItemCount: TCorvaneSize;
  CodePage: UInt32; TimeoutMs: UInt32; DialResult: PCardinal): Integer;
  {$IFDEF CORVANE_STDCALL}stdcall;{$ELSE}cdecl;{$ENDIF} external CorvaneLaunchLibrary;
function corvane_explain(DialResult: UInt32; Text: PAnsiChar; TextSize: PCorvaneSize): Integer;
  {$IFDEF CORVANE_STDCALL}stdcall;{$ELSE}cdecl;{$ENDIF} external CorvaneLaunchLibrary;
function corvane_error_text(Error: Integer): PAnsiChar;
  {$IFDEF CORVANE_STDCALL}stdcall;{$ELSE}cdecl;{$ENDIF} external CorvaneLaunchLibrary;
procedure corvane_wipe(P: Pointer; N: TCorvaneSize);
  {$IFDEF CORVANE_STDCALL}stdcall;{$ELSE}cdecl;{$ENDIF} external CorvaneLaunchLibrary;

// --- Helpers: each raises ECorvaneLaunch when the library returns a failure ------------------

function CorvaneErrorText(Code: Integer): string;
// The block the dialer reads, made from the five items for the minute At (nil: now).
function CorvaneMakeBlock(const Items: TCorvaneItems; CodePage: UInt32; At: PCorvaneMinute): UTF8String;
// The items of a block, read as the dialer would (the minute of At, then the one before).
function CorvaneReadBlock(const Block: UTF8String; CodePage: UInt32; At: PCorvaneMinute): TCorvaneItems;
// Makes this minute's block, runs the dialer with it and returns its exit status.
function CorvaneDial(const DialerPath: UTF8String; const Items: TCorvaneItems; CodePage: UInt32;
  TimeoutMs: UInt32): UInt32;
// What an exit status of the dialer means, as `corvane explain` says it.
function CorvaneExplain(DialResult: UInt32): UTF8String;
// Wipes a string's characters (when it is the only reference to them) and empties it.
procedure CorvaneWipeString(var Text: UTF8String);
// The dialer's path from the folder its package records on Windows (InstallLocation under
// HKLM\SOFTWARE\Orvex\Corvane Dialer, in the registry's 64-bit view); '' when it is not
// installed, and elsewhere.
function CorvaneInstalledDialer: UTF8String;

implementation

constructor ECorvaneLaunch.CreateCode(const AFunction: string; ACode: Integer);
begin
  inherited Create(AFunction + ': ' + CorvaneErrorText(ACode) + ' (' + IntToStr(ACode) + ')');
  FCode := ACode;
end;

// The UTF-8 text at P, its bytes taken as they are (a typecast of a PAnsiChar would convert it from
// the system's code page under Delphi).
function Utf8At(P: PAnsiChar): UTF8String;
var
  Count: Integer;
begin
  Count := 0;
  while P[Count] <> #0 do
    Inc(Count);
  SetString(Result, P, Count);
end;

procedure Check(const AFunction: string; Code: Integer);
begin
  if Code <> CORVANE_OK then
    raise ECorvaneLaunch.CreateCode(AFunction, Code);
end;

function CorvaneErrorText(Code: Integer): string;
var
  Text: PAnsiChar;
begin
  Text := corvane_error_text(Code);
  if Text = nil then
    Result := 'unknown return code ' + IntToStr(Code)
  else
    Result := string(Utf8At(Text));
end;

procedure CorvaneWipeString(var Text: UTF8String);
begin
  if Length(Text) > 0 then
  begin
    // Writing a character gives the string a copy of its own first, so only this one is wiped.
    Text[1] := Text[1];
    corvane_wipe(PAnsiChar(Text), Length(Text));
  end;
  Text := '';
end;

// A buffer of the library's calls, wiped before it is freed.
function NewBuffer(Size: TCorvaneSize): PAnsiChar;
begin
  GetMem(Result, Size);
end;

procedure DisposeBuffer(var Buffer: PAnsiChar; Size: TCorvaneSize);
begin
  if Buffer <> nil then
  begin
    corvane_wipe(Buffer, Size);
    FreeMem(Buffer);
    Buffer := nil;
  end;
end;

// The items as a C array of pointers to their NUL-terminated UTF-8 texts.
type
  TItemPointers = array of PAnsiChar;

function ItemPointers(const Items: TCorvaneItems): TItemPointers;
var
  I: Integer;
begin
  Result := nil;
  SetLength(Result, Length(Items) + 1);
  for I := 0 to High(Items) do
    Result[I] := PAnsiChar(Items[I]);
  Result[Length(Items)] := nil;
end;

// The arguments of the library's calls that fill a buffer, besides the buffer and its size: each
// call takes the ones it needs.
type
  TBufferCallArgs = record
    Items: PPAnsiChar;
    ItemCount: TCorvaneSize;
    Block: PAnsiChar;
    CodePage: UInt32;
    At: PCorvaneMinute;
    DialResult: UInt32;
    ReadCount: TCorvaneSize; // the number of items corvane_read_block found
  end;
  TBufferCall = function(var Args: TBufferCallArgs; Buffer: PAnsiChar; Size: PCorvaneSize): Integer;

function MakeBlockCall(var Args: TBufferCallArgs; Buffer: PAnsiChar; Size: PCorvaneSize): Integer;
begin
  Result := corvane_make_block(Args.Items, Args.ItemCount, Args.CodePage, Args.At, Buffer, Size);
end;

function ReadBlockCall(var Args: TBufferCallArgs; Buffer: PAnsiChar; Size: PCorvaneSize): Integer;
begin
  Result := corvane_read_block(Args.Block, Args.CodePage, Args.At, Buffer, Size, @Args.ReadCount);
end;

function ExplainCall(var Args: TBufferCallArgs; Buffer: PAnsiChar; Size: PCorvaneSize): Integer;
begin
  Result := corvane_explain(Args.DialResult, Buffer, Size);
end;

// Asks for the size first (no buffer), then calls again with a buffer of that size, and again
// should the size needed have grown in between. Returns the bytes the call wrote without the
// closing NUL: a string keeps a NUL after its end, so the last of several items still ends in one.
// The buffer is wiped before it is freed; the caller wipes the result when it holds a secret.
// Raises ECorvaneLaunch, named after AFunction, when the call fails.
function CallWithBuffer(const AFunction: string; Call: TBufferCall; var Args: TBufferCallArgs): UTF8String;
var
  Buffer: PAnsiChar;
  Size, Allocated: TCorvaneSize;
  Code: Integer;
begin
  Result := '';
  Size := 0;
  Code := Call(Args, nil, @Size);
  while Code = CORVANE_E_BUFFER_TOO_SMALL do
  begin
    Allocated := Size;
    Buffer := NewBuffer(Allocated);
    try
      Code := Call(Args, Buffer, @Size);
      if Code = CORVANE_OK then
      begin
        SetString(Result, Buffer, Size - 1);
        Exit;
      end;
    finally
      DisposeBuffer(Buffer, Allocated);
    end;
  end;
  Check(AFunction, Code);
end;

function CorvaneMakeBlock(const Items: TCorvaneItems; CodePage: UInt32; At: PCorvaneMinute): UTF8String;
var
  Pointers: TItemPointers;
  Args: TBufferCallArgs;
begin
  Pointers := ItemPointers(Items);
  FillChar(Args, SizeOf(Args), 0);
  Args.Items := @Pointers[0];
  Args.ItemCount := Length(Items);
  Args.CodePage := CodePage;
  Args.At := At;
  Result := CallWithBuffer('corvane_make_block', MakeBlockCall, Args);
end;

function CorvaneReadBlock(const Block: UTF8String; CodePage: UInt32; At: PCorvaneMinute): TCorvaneItems;
var
  Args: TBufferCallArgs;
  Bytes: UTF8String;
  Item: PAnsiChar;
  I: Integer;
begin
  FillChar(Args, SizeOf(Args), 0);
  Args.Block := PAnsiChar(Block);
  Args.CodePage := CodePage;
  Args.At := At;
  Result := nil;
  Bytes := CallWithBuffer('corvane_read_block', ReadBlockCall, Args);
  try
    // The items follow each other, each ended by a NUL.
    SetLength(Result, Args.ReadCount);
    Item := PAnsiChar(Bytes);
    for I := 0 to Integer(Args.ReadCount) - 1 do
    begin
      Result[I] := Utf8At(Item);
      Inc(Item, Length(Result[I]) + 1);
    end;
  finally
    // They hold the password.
    CorvaneWipeString(Bytes);
  end;
end;

{$IFDEF MSWINDOWS}
// The registry calls, declared here alike for Delphi and Free Pascal. A key is pointer-sized.
type
  TRegistryKey = NativeUInt;

const
  // HKEY_LOCAL_MACHINE: $80000002, sign-extended as Windows' headers define it.
  RegistryLocalMachine = TRegistryKey(NativeInt(-2147483646));
  KEY_QUERY_VALUE = $0001;
  // The 64-bit view: a 32-bit program is otherwise shown SOFTWARE\WOW6432Node, where the x64
  // dialer's package writes nothing.
  KEY_WOW64_64KEY = $0100;
  REG_SZ = 1;

function RegOpenKeyExW(Key: TRegistryKey; SubKey: PWideChar; Options, Desired: Cardinal;
  out Opened: TRegistryKey): Longint; stdcall; external 'advapi32.dll' name 'RegOpenKeyExW';
function RegQueryValueExW(Key: TRegistryKey; Name: PWideChar; Reserved: Pointer; ValueType: PCardinal;
  Data: Pointer; DataSize: PCardinal): Longint; stdcall; external 'advapi32.dll' name 'RegQueryValueExW';
function RegCloseKey(Key: TRegistryKey): Longint; stdcall; external 'advapi32.dll' name 'RegCloseKey';

function CorvaneInstalledDialer: UTF8String;
var
  Key: TRegistryKey;
  Folder: array[0..1023] of WideChar;
  Size, ValueType: Cardinal;
  Path: UnicodeString;
begin
  Result := '';
  if RegOpenKeyExW(RegistryLocalMachine, 'SOFTWARE\Orvex\Corvane Dialer', 0, KEY_QUERY_VALUE or KEY_WOW64_64KEY,
    Key) <> 0 then
    Exit;
  try
    FillChar(Folder, SizeOf(Folder), 0);
    // One character is kept back: a value stored without its NUL still ends in one here.
    Size := SizeOf(Folder) - SizeOf(WideChar);
    if (RegQueryValueExW(Key, 'InstallLocation', nil, @ValueType, @Folder[0], @Size) <> 0) or
      (ValueType <> REG_SZ) or (Folder[0] = #0) then
      Exit;
    Path := PWideChar(@Folder[0]);
    if Path[Length(Path)] <> '\' then
      Path := Path + '\';
    Result := UTF8Encode(Path + 'CorvaneDialer.exe');
  finally
    RegCloseKey(Key);
  end;
end;
{$ELSE}
function CorvaneInstalledDialer: UTF8String;
begin
  Result := '';
end;
{$ENDIF}

function CorvaneDial(const DialerPath: UTF8String; const Items: TCorvaneItems; CodePage: UInt32;
  TimeoutMs: UInt32): UInt32;
var
  Pointers: TItemPointers;
  DialResult: Cardinal;
begin
  Pointers := ItemPointers(Items);
  DialResult := 0;
  Check('corvane_dial', corvane_dial(PAnsiChar(DialerPath), @Pointers[0], Length(Items), CodePage, TimeoutMs,
    @DialResult));
  Result := DialResult;
end;

function CorvaneExplain(DialResult: UInt32): UTF8String;
var
  Args: TBufferCallArgs;
begin
  FillChar(Args, SizeOf(Args), 0);
  Args.DialResult := DialResult;
  Result := CallWithBuffer('corvane_explain', ExplainCall, Args);
end;

end.
